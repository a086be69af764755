#include "RowModel.h"

#include "CellFormat.h"
#include "CgroupService.h"
#include "RowSort.h"

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
    const ListRow& row = rows_[static_cast<size_t>(index.row())];
    const size_t column = static_cast<size_t>(index.column());
    // A service's tooltip is the raw cgroup path it was named from.
    if (role == Qt::ToolTipRole && column < columns_.size() &&
        columns_[column].format == CellFormat::CgroupService)
        return QString::fromLocal8Bit(CgroupOfCell(row.column(index.column())));
    // Texts are the kernel's bytes; invalid UTF-8 shows as replacement marks.
    return QString::fromLocal8Bit(shownCell(row, index.column()));
}

std::string RowModel::shownCell(const ListRow& row, int column) const {
    const std::string& cell = row.column(column);
    if (column < 0 || static_cast<size_t>(column) >= columns_.size())
        return cell;
    return ShownCell(columns_[static_cast<size_t>(column)].format, cell);
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        static_cast<size_t>(section) >= columns_.size())
        return {};
    const ListColumn& column = columns_[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(column.title);
    if (role == Qt::ToolTipRole && column.toolTip)
        return QString::fromLatin1(column.toolTip);
    return {};
}

// As many columns as before need only new headers, which keeps the view's
// selection.
void RowModel::setColumns(std::vector<ListColumn> columns) {
    if (columns.size() == columns_.size() && !columns_.empty()) {
        columns_ = std::move(columns);
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        return;
    }
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
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
    for (size_t i = 0; i < order.size(); ++i)
        newPosition[order[i]] = static_cast<int>(i);
    rows_ = Permuted(std::move(rows_), order);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newPosition[static_cast<size_t>(index.row())], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}
