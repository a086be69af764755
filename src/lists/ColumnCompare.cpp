#include "ColumnCompare.h"

#include "Rtl.h"

#include <initializer_list>

namespace {

int CompareByRule(const ListRow& item1, const ListRow& item2, int column,
                  std::initializer_list<int> integerColumns) {
    const std::string& text1 = item1.column(column);
    const std::string& text2 = item2.column(column);
    for (const int integerColumn : integerColumns) {
        if (column != integerColumn)
            continue;
        const int32_t b = StrToInt(text2);
        const int32_t a = StrToInt(text1);
        return a < b ? 1 : (a > b ? -1 : 0);
    }
    return CompareText(text1, text2);
}

} // namespace

int CompareProcessRows(const ListRow& item1, const ListRow& item2, int column) {
    return CompareByRule(item1, item2, column, {0, 2, 3});
}

int CompareListenerRows(const ListRow& item1, const ListRow& item2, int column) {
    return CompareByRule(item1, item2, column, {0, 2});
}

int CompareConnectionRows(const ListRow& item1, const ListRow& item2, int column) {
    if ((column == 3 || column == 5) &&
        (item1.column(column) == "N/A" || item2.column(column) == "N/A"))
        return -1;
    return CompareByRule(item1, item2, column, {0, 3, 5});
}
