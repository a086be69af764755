#pragma once

#include "RowModel.h"
#include "RowSort.h"

#include <QTableView>
#include <functional>
#include <optional>

// The report-style list the windows share: grid lines, whole-row single
// selection, clickable headers, no sorting of its own.
class ListView : public QTableView {
    Q_OBJECT

  public:
    explicit ListView(QWidget* parent = nullptr);

    void setColumns(std::vector<ListColumn> columns);
    RowModel& rowModel() { return *model_; }
    const ListRows& rows() const { return model_->rows(); }
    void setRows(ListRows rows) { model_->setRows(std::move(rows)); }
    void appendRows(ListRows rows) { model_->appendRows(std::move(rows)); }
    void clear() { model_->clear(); }
    // Reorders the rows in place by compare; an exception from compare leaves
    // them as they were.
    void sortRows(const RowCompare& compare) { model_->reorderRows(SortOrder(rows(), compare)); }

    // The caption of the selected row, if a row is selected.
    std::optional<std::string> selectedCaption() const;

    // What a rebuild that keeps the user's place needs: the selected row, a
    // way to select a row again, and the scroll position.
    const ListRow* selectedRow() const;
    // Selects the first row for which match holds and makes it current; false
    // when no row matches.
    bool selectFirst(const std::function<bool(const ListRow&)>& match);
    QPoint scrollPosition() const;
    void setScrollPosition(QPoint position);

  signals:
    void columnClicked(int column);

  private:
    RowModel* model_ = nullptr;
};
