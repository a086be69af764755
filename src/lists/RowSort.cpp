#include "RowSort.h"

#include <numeric>

namespace {

// Merges the sorted runs from[begin, middle) and from[middle, end) into to.
void MergeRuns(const ListRows& rows, const RowCompare& compare, const std::vector<size_t>& from,
               std::vector<size_t>& to, size_t begin, size_t middle, size_t end) {
    size_t left = begin;
    size_t right = middle;
    for (size_t out = begin; out < end; ++out) {
        const bool takeLeft =
            right >= end || (left < middle && compare(rows[from[left]], rows[from[right]]) <= 0);
        to[out] = takeLeft ? from[left++] : from[right++];
    }
}

} // namespace

std::vector<size_t> SortOrder(const ListRows& rows, const RowCompare& compare) {
    const size_t count = rows.size();
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    std::vector<size_t> scratch(count);
    for (size_t width = 1; width < count; width *= 2) {
        for (size_t begin = 0; begin < count; begin += 2 * width) {
            const size_t middle = std::min(begin + width, count);
            const size_t end = std::min(begin + 2 * width, count);
            MergeRuns(rows, compare, order, scratch, begin, middle, end);
        }
        order.swap(scratch);
    }
    return order;
}

ListRows Permuted(ListRows rows, const std::vector<size_t>& order) {
    ListRows permuted;
    permuted.reserve(order.size());
    for (const size_t index : order)
        permuted.push_back(std::move(rows[index]));
    return permuted;
}

void SortRows(ListRows& rows, const RowCompare& compare) {
    const std::vector<size_t> order = SortOrder(rows, compare);
    rows = Permuted(std::move(rows), order);
}
