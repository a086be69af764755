#pragma once

#include "ListRow.h"

#include <QAbstractTableModel>

// Holds the rows of one report list. Rows are replaced as a whole and
// reordered in place; cells are converted to display text only when shown.
class RowModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit RowModel(std::vector<ListColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const std::vector<ListColumn>& columns() const { return columns_; }
    // Keeps the rows; cells past a row's end show empty.
    void setColumns(std::vector<ListColumn> columns);
    // A cell as the list shows it, amounts in their unit.
    std::string shownCell(const ListRow& row, int column) const;
    const ListRows& rows() const { return rows_; }
    void setRows(ListRows rows);
    void clear() { setRows({}); }
    // Puts the rows in the order given as old row indices (a permutation, as a
    // sort yields it); the selection follows its row.
    void reorderRows(const std::vector<size_t>& order);

  private:
    std::vector<ListColumn> columns_;
    ListRows rows_;
};
