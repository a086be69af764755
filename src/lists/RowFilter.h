#pragma once

#include <QSortFilterProxyModel>

class RowModel;

// Shows the rows of a RowModel that hold a text in any cell, ignoring case,
// in the model's own order: it never sorts, so the list's own sort decides
// the order of what is shown.
class RowFilter : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    explicit RowFilter(QObject* parent = nullptr);

    void setRowModel(RowModel* model);
    const QString& text() const { return text_; }
    void setText(const QString& text);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    RowModel* model_ = nullptr;
    QString text_;
};
