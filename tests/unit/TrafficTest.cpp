// The traffic columns: what the kernel's tcp_info counts become, how the
// tracker turns fetches and closes into rates and totals, how the cells show
// and sort, and that with the option off nothing of it reaches a fetch or a list.

#include "lists/CellFormat.h"
#include "lists/OptionalColumns.h"
#include "lists/RowSort.h"
#include "lists/SocketRows.h"
#include "platform/SockDiag.h"
#include "support/FakePlatform.h"

#include <QByteArray>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>

namespace {

using platform::TcpByteCounts;

// One closed-socket announcement whose INET_DIAG_INFO holds `size` bytes of
// a tcp_info, zero past sizeof(tcp_info).
std::vector<uint8_t> Announcement(const tcp_info& info, size_t size) {
    std::vector<uint8_t> bytes(NLMSG_HDRLEN + sizeof(inet_diag_msg) + NLA_HDRLEN + size);
    const nlmsghdr header{static_cast<uint32_t>(bytes.size()), SOCK_DIAG_BY_FAMILY, 0, 0, 0};
    inet_diag_msg msg{};
    msg.idiag_family = AF_INET;
    msg.id.idiag_cookie[0] = 0x89abcdef, msg.id.idiag_cookie[1] = 0x1234567;
    const nlattr attr{static_cast<uint16_t>(NLA_HDRLEN + size), INET_DIAG_INFO};
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + NLMSG_HDRLEN, &msg, sizeof msg);
    std::memcpy(bytes.data() + NLMSG_HDRLEN + sizeof msg, &attr, sizeof attr);
    std::memcpy(bytes.data() + NLMSG_HDRLEN + sizeof msg + NLA_HDRLEN, &info,
                std::min(size, sizeof info));
    return bytes;
}

} // namespace

// Sent is bytes_sent less bytes_retrans where the kernel sends both, else
// bytes_acked; an older kernel's shorter tcp_info reads as zero past its end,
// and a newer kernel's longer one as far as this build knows it.
TEST(TcpInfoCounts, EveryLengthAKernelMaySend) {
    tcp_info info{};
    info.tcpi_bytes_acked = 4001, info.tcpi_bytes_received = 300;
    info.tcpi_bytes_sent = 5000, info.tcpi_bytes_retrans = 1000;
    const struct {
        size_t size;
        TcpByteCounts counts;
    } cases[] = {
        {sizeof info + 64, {4000, 300}},
        {sizeof info, {4000, 300}},
        {offsetof(tcp_info, tcpi_bytes_retrans), {4001, 300}},
        {offsetof(tcp_info, tcpi_bytes_received), {4001, 0}},
        {0, {0, 0}},
    };
    for (const auto& c : cases) {
        const auto entries = platform::sockdiag::ReadBroadcast(Announcement(info, c.size));
        ASSERT_EQ(entries.size(), 1u) << c.size;
        EXPECT_EQ(entries[0].cookie, 0x0123456789abcdefu);
        EXPECT_EQ(entries[0].bytes, c.counts) << c.size;
    }
}

// Steps of made-up fetches (at a second, with sockets of PID 7) and closes;
// what the last fetch shows for PID 7.
TEST(TrafficTracker, RatesAndTotalsAcrossFetchesAndCloses) {
    struct Step {
        int second; // -1: a close
        std::vector<SocketSample> sockets;
    };
    const auto at = [](int second) { return TrafficTracker::Time(std::chrono::seconds(second)); };
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::optional<uint64_t> rate;
        uint64_t total;
    } cases[] = {
        {"bytes before the first fetch are not counted; a new socket has no rate yet",
         {{0, {{1, 7, {100, 0}}}}, {2, {{1, 7, {2100, 1000}}, {2, 7, {50, 50}}}}},
         1500,
         3100},
        {"a socket the fetch missed keeps its bytes, and its close adds the rest",
         {{0, {}}, {1, {{1, 7, {1000, 0}}}}, {2, {}}, {-1, {{1, 0, {1500, 10}}}}, {3, {}}},
         std::nullopt,
         1510},
        {"a close counts once, though a fetch begun before it lists the socket",
         {{0, {}},
          {1, {{1, 7, {1000, 0}}}},
          {-1, {{1, 0, {1200, 0}}}},
          {2, {{1, 7, {1100, 0}}}},
          {3, {}}},
         std::nullopt,
         1200},
        {"a fetch older than the last changes nothing",
         {{0, {}}, {2, {{1, 7, {10, 0}}}}, {1, {{1, 7, {9999, 0}}}}, {3, {{1, 7, {20, 0}}}}},
         10,
         20},
        {"a close of a socket never seen counts nowhere",
         {{0, {{1, 7, {5, 5}}}}, {-1, {{9, 0, {1000, 1000}}}}, {1, {{1, 7, {5, 5}}}}},
         0,
         0},
    };
    for (const auto& c : cases) {
        TrafficTracker tracker;
        TrafficView view;
        for (const Step& step : c.steps) {
            std::vector<platform::ClosedTcpSocket> closed;
            for (const SocketSample& socket : step.sockets)
                closed.push_back({socket.cookie, socket.bytes});
            if (step.second < 0)
                tracker.Closed(closed);
            else
                view = tracker.Update(step.sockets, at(step.second));
        }
        EXPECT_EQ(view.processes[7].rate, c.rate) << c.what;
        EXPECT_EQ(view.processes[7].total, c.total) << c.what;
    }
}

// Binary units with one decimal, never "1024.0" of a unit; sorted by the
// number, largest first, empty cells last.
TEST(AmountCells, ShowInUnitsAndSortAsNumbers) {
    const struct {
        CellFormat format;
        std::string cell;
        std::string shown;
    } cells[] = {
        {CellFormat::Bytes, "0", "0 B"},
        {CellFormat::Bytes, "1023", "1023 B"},
        {CellFormat::Bytes, "1024", "1.0 KiB"},
        {CellFormat::BytesPerSecond, "12697", "12.4 KiB/s"},
        {CellFormat::Bytes, "1048524", "1023.9 KiB"},
        {CellFormat::Bytes, "1048525", "1.0 MiB"},
        {CellFormat::Bytes, "3328599655", "3.1 GiB"},
        {CellFormat::Bytes, "18446744073709551615", "16.0 EiB"},
        {CellFormat::Bytes, "", ""},
        {CellFormat::Text, "1024", "1024"},
    };
    for (const auto& c : cells)
        EXPECT_EQ(ShownCell(c.format, c.cell), c.shown) << c.cell;
    const ListRows rows = {
        {"1", {""}}, {"2", {"999"}}, {"3", {"18446744073709551615"}}, {"4", {""}}, {"5", {"1024"}}};
    std::vector<std::string> sorted;
    for (const size_t index : SortOrder(rows, [](const ListRow&a, const ListRow&b) {
             return CompareAmounts(a.column(1), b.column(1));
         }))
        sorted.push_back(rows[index].caption);
    EXPECT_EQ(sorted, (std::vector<std::string>{"3", "5", "2", "1", "4"}));
}

// With traffic off the dump request is byte for byte the one before traffic
// existed, every list keeps its own columns, and counts a table may hold
// never become cells.
TEST(TrafficOff, RequestColumnsAndRowsStayAsTheyWere) {
    const auto request = platform::sockdiag::MakeDumpRequest(
        AF_INET, IPPROTO_TCP, platform::sockdiag::kEveryReportedState, 1);
    const char before[] = "4800000014000103010000000000000002060000fe1f00000000000000000000"
                          "0000000000000000000000000000000000000000000000000000000000000000"
                          "ffffffffffffffff";
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&request), sizeof request).toHex(), before);
    const std::vector<ListColumn> own = {{"PID", 50}, {"Name", 125}};
    for (const ListKind list : {ListKind::Processes, ListKind::Listeners, ListKind::Connections})
        EXPECT_EQ(WithOptionalColumns(own, list, {.liveRefresh = true}).size(), own.size());
    FakeSocketTables sockets;
    sockets.tcp->push_back({5, 0, htons(80), 0, htons(5000), 1, 99, TcpByteCounts{10, 20}});
    FakeProcessApi processes;
    const ListRows rows = BuildConnectionRows(sockets, processes, false);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subItems.size(), 8u);
}
