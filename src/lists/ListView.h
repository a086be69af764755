#pragma once

#include "RowFilter.h"
#include "RowModel.h"
#include "RowSort.h"

#include <QTableView>
#include <functional>
#include <optional>

// The report-style list the windows share: grid lines, whole-row single
// selection, clickable headers, no sorting of its own. It shows the rows
// through a filter that passes every row until a find text is set.
class ListView : public QTableView {
    Q_OBJECT

  public:
    explicit ListView(QWidget* parent = nullptr);

    // Keeps the rows, which a rebuild then replaces.
    void setColumns(std::vector<ListColumn> columns);
    RowModel& rowModel() const { return *model_; }
    const ListRows& rows() const { return model_->rows(); }
    void setRows(ListRows rows) { model_->setRows(std::move(rows)); }
    void clear() { model_->clear(); }
    // Reorders the rows in place by compare; an exception from compare leaves
    // them as they were.
    void sortRows(const RowCompare& compare) { model_->reorderRows(SortOrder(rows(), compare)); }

    // The rows shown, in the order shown: those that hold the find text.
    void setFindText(const QString& text) { filter_->setText(text); }
    int shownRowCount() const { return filter_->rowCount(); }
    const ListRow& shownRow(int index) const;

    // The selected row, if a row is selected, and its caption.
    const ListRow* selectedRow() const;
    std::optional<std::string> selectedCaption() const;

    // What a rebuild that keeps the user's place needs besides the selected
    // row: a way to select a row again, and the scroll position.
    // Selects the first shown row for which match holds and makes it current;
    // false when no shown row matches.
    bool selectFirst(const std::function<bool(const ListRow&)>& match);
    QPoint scrollPosition() const;
    void setScrollPosition(QPoint position);

  signals:
    void columnClicked(int column);
    // A right-click, which selects the row under it, or the Menu key: where
    // a menu goes, and whether it is for the selected row.
    void menuRequested(const QPoint& globalPos, bool forRow);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    RowModel* model_ = nullptr;
    RowFilter* filter_ = nullptr;
};
