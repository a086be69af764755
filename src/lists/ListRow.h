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
    // A socket row's cgroup v2 id, where its owner is unknown and the kernel
    // says where the socket was made; 0 otherwise.
    uint64_t socketCgroup = 0;

    // Column 0 is the caption, column k the sub-item k-1; "" past the end.
    const std::string& column(int index) const;
};

using ListRows = std::vector<ListRow>;

// What a name cell shows when its query failed.
inline constexpr const char* kUnknownName = "<unknown>";

// How a column shows its cells. An amount column holds exact numbers as
// decimal text ("" for none), which exports keep and the list shows rounded
// to a unit; a service column holds a cgroup path (with the container's name,
// see ServiceCell) and shows what it names, the path as its tooltip.
enum class CellFormat { Text, Bytes, BytesPerSecond, CgroupService };

struct ListColumn {
    const char* title;
    int width;
    CellFormat format = CellFormat::Text;
    const char* toolTip = nullptr; // the header's
};
