#include "ColumnCompare.h"
#include "RowSort.h"
#include "Rtl.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace {

ListRows Rows(const std::vector<std::vector<std::string>>& cells) {
    ListRows rows;
    for (const auto& row : cells)
        rows.push_back({row.front(), {row.begin() + 1, row.end()}});
    return rows;
}

std::vector<std::string> SortedColumn(const ListRows& rows, int column, const RowCompare& compare) {
    std::vector<std::string> texts;
    for (const size_t index : SortOrder(rows, compare))
        texts.push_back(rows[index].column(column));
    return texts;
}

bool IsPermutation(std::vector<size_t> order, size_t count) {
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] != i)
            return false;
    return order.size() == count;
}

const ListRows kProcesses = Rows({
    {"812", "System", "120", "300", "C:/x"},
    {"4", "explorer.exe", "5000", "5100", "/usr/bin/explorer.exe"},
    {"1207", "_init", "9", "9", ""},
    {"55", "svchost.exe", "120", "130", "/b"},
    {"56", "svchost", "7", "8", "/a"},
});

} // namespace

TEST(ColumnSort, ProcessesByEachColumn) {
    const struct {
        int column;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {"1207", "812", "56", "55", "4"}},
        {1, {"explorer.exe", "svchost", "svchost.exe", "System", "_init"}},
        {2, {"5000", "120", "120", "9", "7"}},
        {3, {"5100", "300", "130", "9", "8"}},
        {4, {"", "/a", "/b", "/usr/bin/explorer.exe", "C:/x"}},
    };
    for (const auto& c : cases) {
        const auto compare = [&](const ListRow& a, const ListRow& b) {
            return CompareProcessRows(a, b, c.column);
        };
        EXPECT_EQ(SortedColumn(kProcesses, c.column, compare), c.expected) << "column " << c.column;
    }
}

TEST(ColumnSort, ListenersSortAddressesAsText) {
    const ListRows rows = Rows({{"1", "9.0.0.1", "80", "a", "/a"},
                                {"2", "192.168.0.9", "8080", "b", "/b"},
                                {"3", "10.0.0.2", "22", "c", "/c"},
                                {"4", "192.168.0.10", "443", "d", "/d"}});
    const auto byColumn = [&](int column) {
        return SortedColumn(rows, column, [column](const ListRow& a, const ListRow& b) {
            return CompareListenerRows(a, b, column);
        });
    };
    EXPECT_EQ(byColumn(1),
              (std::vector<std::string>{"10.0.0.2", "192.168.0.10", "192.168.0.9", "9.0.0.1"}));
    EXPECT_EQ(byColumn(2), (std::vector<std::string>{"8080", "443", "80", "22"}));
}

TEST(ColumnSort, NotApplicablePortsNeverReachTheIntegerConversion) {
    std::vector<std::vector<std::string>> cells;
    for (int i = 0; i < 200; ++i) {
        const bool udp = i % 3 == 0;
        cells.push_back({std::to_string(i), udp ? "UDP" : "TCP", "127.0.0.1",
                         std::to_string(1000 + i * 7 % 50), udp ? "N/A" : "127.0.0.1",
                         udp ? "N/A" : std::to_string(i * 13 % 97), udp ? "N/A" : "Established",
                         "p", "/p"});
    }
    const ListRows rows = Rows(cells);
    for (const int column : {3, 5}) {
        const auto order = SortOrder(rows, [column](const ListRow& a, const ListRow& b) {
            return CompareConnectionRows(a, b, column);
        });
        EXPECT_TRUE(IsPermutation(order, rows.size())) << "column " << column;
    }
    EXPECT_EQ(CompareConnectionRows(rows[0], rows[1], 5), -1);
    EXPECT_EQ(CompareConnectionRows(rows[1], rows[0], 5), -1);
    const ListRows odd = Rows({{"12a"}, {"3"}});
    EXPECT_THROW(CompareConnectionRows(odd[0], odd[1], 0), EConvertError);
}

TEST(RowSort, EndsWithAPermutationWhateverTheComparisonSays) {
    const ListRows rows(1000, ListRow{"x", {}});
    std::mt19937 random(7);
    const RowCompare comparisons[] = {
        [](const ListRow&, const ListRow&) { return -1; },
        [](const ListRow&, const ListRow&) { return 1; },
        [&](const ListRow&, const ListRow&) { return static_cast<int>(random() % 3) - 1; },
    };
    for (const auto& compare : comparisons)
        EXPECT_TRUE(IsPermutation(SortOrder(rows, compare), rows.size()));
}

TEST(RowSort, ShortListsNeedNoComparisonAndEqualRowsKeepTheirOrder) {
    int calls = 0;
    const RowCompare counting = [&](const ListRow&, const ListRow&) { return ++calls, 0; };
    EXPECT_TRUE(SortOrder({}, counting).empty());
    EXPECT_EQ(SortOrder(Rows({{"1"}}), counting), std::vector<size_t>{0});
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(SortOrder(Rows({{"a"}, {"b"}, {"c"}}), counting), (std::vector<size_t>{0, 1, 2}));
}
