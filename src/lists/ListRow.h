#pragma once

// One row of a report list: a caption in the first column and one sub-item
// text per further column. Rows are plain values so that they can be built
// and checked without any widget.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ListRow {
    std::string caption;
    std::vector<std::string> subItems;
    // The start time of the row's process, which with its PID names it.
    std::optional<uint64_t> startTime = std::nullopt;

    // Column 0 is the caption, column k the sub-item k-1; "" past the end.
    const std::string& column(int index) const;
};

using ListRows = std::vector<ListRow>;

// What a name cell shows when its query failed.
inline constexpr const char* kUnknownName = "<unknown>";

struct ListColumn {
    const char* title;
    int width;
};
