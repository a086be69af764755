#include "ListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QScrollBar>

ListView::ListView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setSortingEnabled(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    // Fixed row heights keep lists of tens of thousands of rows cheap to lay out.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ListView::columnClicked);
    filter_ = new RowFilter(this);
    setModel(filter_);
    setColumns({});
}

void ListView::setColumns(std::vector<ListColumn> columns) {
    if (model_) {
        model_->setColumns(std::move(columns));
    } else {
        model_ = new RowModel(std::move(columns), this);
        filter_->setRowModel(model_);
    }
    const auto& cols = model_->columns();
    for (size_t i = 0; i < cols.size(); ++i)
        setColumnWidth(static_cast<int>(i), cols[i].width);
}

const ListRow& ListView::shownRow(int index) const {
    const QModelIndex source = filter_->mapToSource(filter_->index(index, 0));
    return model_->rows().at(static_cast<size_t>(source.row()));
}

const ListRow* ListView::selectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty())
        return nullptr;
    return &shownRow(selected.first().row());
}

std::optional<std::string> ListView::selectedCaption() const {
    const ListRow* row = selectedRow();
    if (!row)
        return std::nullopt;
    return row->caption;
}

// A mouse event comes in viewport coordinates; the Menu key opens the menu
// over the selected row.
void ListView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse) {
        const QModelIndex under = indexAt(event->pos());
        if (under.isValid())
            setCurrentIndex(under);
        emit menuRequested(event->globalPos(), under.isValid());
        return;
    }
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        emit menuRequested(viewport()->mapToGlobal(QPoint(0, 0)), false);
        return;
    }
    scrollTo(selected.first());
    emit menuRequested(viewport()->mapToGlobal(visualRect(selected.first()).center()), true);
}

// The filter keeps the rows' order, so the first match among the rows that
// the filter shows is the first shown; only a match is mapped to the view.
bool ListView::selectFirst(const std::function<bool(const ListRow&)>& match) {
    const ListRows& all = model_->rows();
    for (size_t row = 0; row < all.size(); ++row) {
        if (!match(all[row]))
            continue;
        const QModelIndex shown = filter_->mapFromSource(model_->index(static_cast<int>(row), 0));
        if (!shown.isValid())
            continue;
        selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

QPoint ListView::scrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void ListView::setScrollPosition(QPoint position) {
    horizontalScrollBar()->setValue(position.x());
    verticalScrollBar()->setValue(position.y());
}
