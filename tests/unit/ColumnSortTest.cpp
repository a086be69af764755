// Column sorting: StrToInt, each list's columns in their direction, and a
// sort that survives the inconsistent "N/A" rule.

#include "lists/ColumnCompare.h"
#include "lists/RowSort.h"
#include "lists/Rtl.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>

namespace {

using Texts = std::vector<std::string>;

ListRows Rows(const std::vector<Texts>& cells) {
    ListRows rows;
    for (const auto& row : cells)
        rows.push_back({row.front(), {row.begin() + 1, row.end()}});
    return rows;
}

Texts SortedColumn(const ListRows& rows, int column,
                   int (*compare)(const ListRow&, const ListRow&, int)) {
    Texts texts;
    const auto byColumn = [&](const ListRow& a, const ListRow& b) { return compare(a, b, column); };
    for (const size_t index : SortOrder(rows, byColumn))
        texts.push_back(rows[index].column(column));
    return texts;
}

} // namespace

TEST(StrToInt, AcceptsSigned32BitDecimalOnly) {
    for (const std::string text : {"0", "80", "-5", "+7", "007", "2147483647", "-2147483648"})
        EXPECT_EQ(StrToInt(text), std::stoll(text)) << text;
    for (const char* text :
         {"", " 1", "1 ", "N/A", "2147483648", "1e3", "0x10", "+", "-", "+-1", "++1"})
        EXPECT_THROW(StrToInt(text), EConvertError) << text;
}

// Numbers largest first; texts by CompareText: from A to Z with only letters
// folded, prefixes first, "_" after letters, bytes above 0x7F last, addresses
// as text.
TEST(ColumnSort, EachColumnOfEachListInItsDirection) {
    const ListRows processes = Rows({{"812", "System", "120", "300", "C:/x"},
                                     {"4", "explorer.exe", "5000", "5100", "/usr/bin/e"},
                                     {"1207", "_init", "9", "9", ""},
                                     {"55", "svchost.exe", "120", "130", "/b"},
                                     {"56", "svchost", "7", "8", "/a"},
                                     {"9", "\xe9t\xe9", "0", "0", "/\xe9"}});
    const ListRows listeners = Rows({{"1", "9.0.0.1", "80"},
                                     {"2", "192.168.0.9", "8080"},
                                     {"3", "10.0.0.2", "22"},
                                     {"4", "192.168.0.10", "443"}});
    const struct {
        const ListRows& rows;
        int (*compare)(const ListRow&, const ListRow&, int);
        int column;
        Texts expected;
    } cases[] = {
        {processes, CompareProcessRows, 0, {"1207", "812", "56", "55", "9", "4"}},
        {processes,
         CompareProcessRows,
         1,
         {"explorer.exe", "svchost", "svchost.exe", "System", "_init", "\xe9t\xe9"}},
        {processes, CompareProcessRows, 2, {"5000", "120", "120", "9", "7", "0"}},
        {processes, CompareProcessRows, 3, {"5100", "300", "130", "9", "8", "0"}},
        {processes, CompareProcessRows, 4, {"", "/a", "/b", "/usr/bin/e", "/\xe9", "C:/x"}},
        {listeners, CompareListenerRows, 1, {"10.0.0.2", "192.168.0.10", "192.168.0.9", "9.0.0.1"}},
        {listeners, CompareListenerRows, 2, {"8080", "443", "80", "22"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SortedColumn(c.rows, c.column, c.compare), c.expected) << c.column;
}

// A UDP row's "N/A" in L Port or R Port puts the first row first, whichever
// row holds it: the sort must still end with every row once.
TEST(ColumnSort, ConnectionsFullOfNotApplicablePortsEndAsAPermutation) {
    std::vector<Texts> cells;
    for (int i = 0; i < 200; ++i)
        cells.push_back({std::to_string(i), i % 2 ? "TCP" : "UDP", "127.0.0.1",
                         std::to_string(i * 7 % 50), "", i % 2 ? std::to_string(i % 9) : "N/A"});
    const ListRows rows = Rows(cells);
    std::vector<size_t> every(rows.size());
    std::iota(every.begin(), every.end(), size_t{0});
    for (const int column : {5, 3}) {
        const auto byColumn = [&](auto& a, auto& b) { return CompareConnectionRows(a, b, column); };
        std::vector<size_t> order = SortOrder(rows, byColumn);
        std::ranges::sort(order);
        EXPECT_EQ(order, every) << column;
    }
    EXPECT_EQ(CompareConnectionRows(rows[0], rows[1], 5), -1);
    EXPECT_EQ(CompareConnectionRows(rows[1], rows[0], 5), -1);
}
