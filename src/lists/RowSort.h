#pragma once

#include "ListRow.h"

#include <functional>
#include <vector>

// Negative when the first row goes first, positive when it goes after.
using RowCompare = std::function<int(const ListRow&, const ListRow&)>;

// The order of the rows under compare, as a permutation of their indices.
// A bottom-up merge sort: it ends, and yields every index once, whatever
// the comparison returns, also when it is no consistent order. Rows that
// compare equal keep their relative order.
std::vector<size_t> SortOrder(const ListRows& rows, const RowCompare& compare);

// The rows taken in the order of a permutation of their indices.
ListRows Permuted(ListRows rows, const std::vector<size_t>& order);

// Puts the rows in the order SortOrder gives.
void SortRows(ListRows& rows, const RowCompare& compare);
