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
constexpr CompareRule kRules[] = {CompareProcessRows, CompareListenerRows, CompareConnectionRows};

CellFormat FormatOf(const ListView& list, int column) {
    const auto& columns = list.rowModel().columns();
    if (column < 0 || static_cast<size_t>(column) >= columns.size())
        return CellFormat::Text;
    return columns[static_cast<size_t>(column)].format;
}

// The columns that options add compare by their format, whatever the list.
int CompareAs(CompareRule rule, CellFormat format, int column, const ListRow& item1,
              const ListRow& item2) {
    if (format == CellFormat::Text)
        return rule(item1, item2, column);
    return CompareFormattedCells(format, item1.column(column), item2.column(column));
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
    return CompareAs(kRules[0], FormatOf(*ui->ListView1, SortColumn), SortColumn, item1, item2);
}

int TForm1::ListView2Compare(const ListRow& item1, const ListRow& item2) const {
    return CompareAs(kRules[1], FormatOf(*ui->ListView2, SortColumn), SortColumn, item1, item2);
}

int TForm1::ListView3Compare(const ListRow& item1, const ListRow& item2) const {
    return CompareAs(kRules[2], FormatOf(*ui->ListView3, SortColumn), SortColumn, item1, item2);
}

// The sort by a column of a page's list as a comparison that reads no widget,
// so a worker can sort fetched rows before the window thread takes them.
RowCompare TForm1::ColumnSort(int page, int column) const {
    return [rule = kRules[page], format = FormatOf(PageList(page), column),
            column](const ListRow& item1, const ListRow& item2) {
        return CompareAs(rule, format, column, item1, item2);
    };
}
