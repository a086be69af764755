// The three lists of the main window: how each is filled and sorted.

#include "Main.h"
#include "lists/CellFormat.h"
#include "lists/ColumnCompare.h"
#include "lists/ListView.h"
#include "ui_Main.h"

namespace {

// The column of the last header click, shared by the three lists.
int32_t SortColumn = 0;

using CompareRule = int (*)(const ListRow&, const ListRow&, int);

// The columns that options add compare by their format, whatever the list.
int CompareBy(ListView& list, CompareRule rule, const ListRow& item1, const ListRow& item2) {
    const auto& columns = list.rowModel().columns();
    if (SortColumn < 0 || static_cast<size_t>(SortColumn) >= columns.size())
        return rule(item1, item2, SortColumn);
    const CellFormat format = columns[static_cast<size_t>(SortColumn)].format;
    if (format == CellFormat::Text)
        return rule(item1, item2, SortColumn);
    return CompareFormattedCells(format, item1.column(SortColumn), item2.column(SortColumn));
}

} // namespace

void TForm1::FillProcessList() {
    RebuiltByHand(0);
    ui->ListView1->clear();
    ui->ListView1->setRows(RowBuilder(0)());
}

void TForm1::FillListenerList() {
    RebuiltByHand(1);
    ui->ListView2->clear();
    ui->ListView2->setRows(RowBuilder(1)());
}

// One fetch gives both tables and their owners: every TCP row, then every UDP row.
void TForm1::FillConnectionList() {
    RebuiltByHand(2);
    ui->ListView3->clear();
    ui->ListView3->setRows(RowBuilder(2)());
}

void TForm1::ListView1ColumnClick(int column) {
    SortColumn = column;
    chosenSort_[0] = column;
    ui->ListView1->sortRows(
        [this](const ListRow& a, const ListRow& b) { return ListView1Compare(a, b); });
}

void TForm1::ListView2ColumnClick(int column) {
    SortColumn = column;
    chosenSort_[1] = column;
    ui->ListView2->sortRows(
        [this](const ListRow& a, const ListRow& b) { return ListView2Compare(a, b); });
}

void TForm1::ListView3ColumnClick(int column) {
    SortColumn = column;
    chosenSort_[2] = column;
    ui->ListView3->sortRows(
        [this](const ListRow& a, const ListRow& b) { return ListView3Compare(a, b); });
}

int TForm1::ListView1Compare(const ListRow& item1, const ListRow& item2) const {
    return CompareBy(*ui->ListView1, CompareProcessRows, item1, item2);
}

int TForm1::ListView2Compare(const ListRow& item1, const ListRow& item2) const {
    return CompareBy(*ui->ListView2, CompareListenerRows, item1, item2);
}

int TForm1::ListView3Compare(const ListRow& item1, const ListRow& item2) const {
    return CompareBy(*ui->ListView3, CompareConnectionRows, item1, item2);
}
