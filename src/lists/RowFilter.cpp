#include "RowFilter.h"

#include "RowModel.h"

RowFilter::RowFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

void RowFilter::setRowModel(RowModel* model) {
    model_ = model;
    setSourceModel(model);
}

void RowFilter::setText(const QString& text) {
    if (text == text_)
        return;
    // A new layout as a whole: invalidateFilter() removes the rows that go
    // one range at a time, which at thousands of scattered rows costs the
    // view tens of times more. The selected row stays if it is still shown.
    text_ = text;
    invalidate();
}

// Reads the row's texts as shown directly rather than through data(), which
// would build a variant per cell.
bool RowFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (text_.isEmpty() || !model_)
        return true;
    const ListRow& row = model_->rows().at(static_cast<size_t>(sourceRow));
    const int columns = static_cast<int>(model_->columns().size());
    for (int column = 0; column < columns; ++column) {
        if (QString::fromLocal8Bit(model_->shownCell(row, column))
                .contains(text_, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
