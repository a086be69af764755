// The traffic columns: what the kernel's tcp_info counts become, how the
// tracker turns fetches and closes into rates and totals, how the cells show
// and sort.

#include "lists/CellFormat.h"
#include "lists/TrafficTracker.h"
#include "platform/SockDiag.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/tcp.h>

using platform::TcpByteCounts;

// Sent is bytes_sent less bytes_retrans where the kernel sends both, else
// bytes_acked; an older kernel's shorter tcp_info reads as zero past its end,
// and a newer kernel's longer one as far as this build knows it.
TEST(TcpInfoCounts, EveryLengthAKernelMaySend) {
    tcp_info info{};
    info.tcpi_bytes_acked = 4001, info.tcpi_bytes_received = 300;
    info.tcpi_bytes_sent = 5000, info.tcpi_bytes_retrans = 1000;
    // How much of it the kernel sent, and the counts read.
    const std::pair<size_t, TcpByteCounts> cases[] = {
        {sizeof info + 64, {4000, 300}},
        {sizeof info, {4000, 300}},
        {offsetof(tcp_info, tcpi_bytes_retrans), {4001, 300}},
        {offsetof(tcp_info, tcpi_bytes_received), {4001, 0}},
        {0, {0, 0}}};
    std::vector<uint8_t> bytes(sizeof info + 64);
    std::memcpy(bytes.data(), &info, sizeof info);
    for (const auto& [size, counts] : cases)
        EXPECT_EQ(platform::sockdiag::TcpInfoCounts({bytes.data(), size}), counts) << size;
}

// Steps of made-up fetches (at a second, with sockets of PID 7) and closes;
// what the last fetch shows for PID 7.
TEST(TrafficTracker, RatesAndTotalsAcrossFetchesAndCloses) {
    struct Step {
        int second; // -1: a close, of its one socket
        std::vector<SocketSample> sockets;
    };
    // Socket 1 of PID 7 alone.
    const auto one = [](uint64_t sent, uint64_t received = 0) {
        return std::vector<SocketSample>{{1, 7, {sent, received}}};
    };
    const struct {
        std::optional<uint64_t> rate;
        uint64_t total;
        std::vector<Step> steps;
    } cases[] = {
        // Bytes before the first fetch are not counted; a new socket has no rate yet.
        {1500, 3100, {{0, one(100)}, {2, {{1, 7, {2100, 1000}}, {2, 7, {50, 50}}}}}},
        // A socket the fetch missed keeps its bytes, and its close adds the rest.
        {{}, 1510, {{0, {}}, {1, one(1000)}, {2, {}}, {-1, one(1500, 10)}, {3, {}}}},
        // A close counts once, though a fetch begun before it lists the socket.
        {{}, 1200, {{0, {}}, {1, one(1000)}, {-1, one(1200)}, {2, one(1100)}, {3, {}}}},
        // A fetch older than the last changes nothing.
        {10, 20, {{0, {}}, {2, one(10)}, {1, one(9999)}, {3, one(20)}}},
        // A close of a socket never seen counts nowhere.
        {0, 0, {{0, one(5, 5)}, {-1, {{9, 0, {1000, 1000}}}}, {1, one(5, 5)}}},
    };
    for (const auto& c : cases) {
        TrafficTracker tracker;
        TrafficView view;
        for (const auto& [second, sockets] : c.steps)
            if (second < 0)
                tracker.Closed({{sockets[0].cookie, sockets[0].bytes}});
            else
                view = tracker.Update(sockets, TrafficTracker::Time(std::chrono::seconds(second)));
        EXPECT_EQ(view.processes[7].rate, c.rate) << c.total;
        EXPECT_EQ(view.processes[7].total, c.total);
    }
}

// Binary units with one decimal, never "1024.0" of a unit; sorted by the
// number, largest first, empty cells last.
TEST(AmountCells, ShowInUnitsAndSortAsNumbers) {
    const std::tuple<CellFormat, std::string, std::string> cells[] = {
        {CellFormat::Bytes, "0", "0 B"},
        {CellFormat::Bytes, "1023", "1023 B"},
        {CellFormat::Bytes, "1024", "1.0 KiB"},
        {CellFormat::BytesPerSecond, "12697", "12.4 KiB/s"},
        {CellFormat::Bytes, "1048524", "1023.9 KiB"},
        {CellFormat::Bytes, "1048525", "1.0 MiB"},
        {CellFormat::Bytes, "3328599655", "3.1 GiB"},
        {CellFormat::Bytes, "18446744073709551615", "16.0 EiB"},
        {CellFormat::Bytes, "", ""},
        {CellFormat::Text, "1024", "1024"}};
    for (const auto& [format, cell, shown] : cells)
        EXPECT_EQ(ShownCell(format, cell), shown) << cell;
    std::vector<std::string> amounts = {"", "999", "18446744073709551615", "", "1024"};
    std::ranges::stable_sort(amounts, [](auto& a, auto& b) { return CompareAmounts(a, b) < 0; });
    EXPECT_EQ(amounts, (std::vector<std::string>{"18446744073709551615", "1024", "999", "", ""}));
}
