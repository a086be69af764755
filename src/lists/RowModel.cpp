#include "RowModel.h"

RowModel::RowModel(std::vector<ListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

int RowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    // Texts are the kernel's bytes; invalid UTF-8 shows as replacement marks.
    return QString::fromLocal8Bit(rows_[static_cast<size_t>(index.row())].column(index.column()));
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        static_cast<size_t>(section) >= columns_.size())
        return {};
    return QString::fromLatin1(columns_[static_cast<size_t>(section)].title);
}

void RowModel::setRows(ListRows rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void RowModel::reorderRows(const std::vector<size_t>& order) {
    if (order.size() != rows_.size())
        return;
    emit layoutAboutToBeChanged();
    std::vector<int> newPosition(order.size());
    ListRows reordered;
    reordered.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newPosition[order[i]] = static_cast<int>(i);
        reordered.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(reordered);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newPosition[static_cast<size_t>(index.row())], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}
