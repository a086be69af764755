#include "CellFormat.h"

#include "CgroupService.h"
#include "Rtl.h"

#include <array>
#include <charconv>
#include <optional>

namespace {

std::optional<uint64_t> Amount(const std::string& cell) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (cell.empty() || error != std::errc() || end != cell.data() + cell.size())
        return std::nullopt;
    return value;
}

} // namespace

// The unit is the largest one that keeps the rounded value at 1.0 or more,
// so 1023.96 KiB shows as 1.0 MiB, never as 1024.0 KiB. Written without the
// locale: the lists show these texts the same everywhere.
std::string ByteAmountText(uint64_t bytes) {
    static constexpr std::array<const char*, 7> units = {"B",   "KiB", "MiB", "GiB",
                                                         "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (unit + 1 < units.size() && value >= 1023.95) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr;
    return std::string(text, end) + ' ' + units[unit];
}

std::string ShownCell(CellFormat format, const std::string& cell) {
    if (format == CellFormat::CgroupService)
        return ServiceOfCell(cell);
    const auto amount = format == CellFormat::Text ? std::nullopt : Amount(cell);
    if (!amount)
        return cell;
    return ByteAmountText(*amount) + (format == CellFormat::BytesPerSecond ? "/s" : "");
}

int CompareAmounts(const std::string& cell1, const std::string& cell2) {
    const auto a = Amount(cell1);
    const auto b = Amount(cell2);
    if (!a || !b)
        return (b ? 1 : 0) - (a ? 1 : 0);
    return *a < *b ? 1 : (*a > *b ? -1 : 0);
}

int CompareFormattedCells(CellFormat format, const std::string& cell1, const std::string& cell2) {
    if (format == CellFormat::Bytes || format == CellFormat::BytesPerSecond)
        return CompareAmounts(cell1, cell2);
    return CompareText(ShownCell(format, cell1), ShownCell(format, cell2));
}
