// The rows of the Processes, Listeners, Connections and Modules lists, built
// from made-up lookups and tables: each failing query or fetch shapes only
// its own cells or rows.

#include "app/Modules.h"
#include "lists/ProcessRows.h"
#include "lists/SocketRows.h"
#include "support/FakePlatform.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace {

using Texts = std::vector<std::string>;

// Each row's cells joined by spaces; an empty cell leaves two spaces together.
Texts RowTexts(const ListRows& rows) {
    Texts texts;
    for (const ListRow& row : rows) {
        std::string text = row.caption;
        for (const auto& cell : row.subItems)
            text += " " + cell;
        texts.push_back(text);
    }
    return texts;
}

platform::Ipv6Address In6(const char* text) {
    platform::Ipv6Address address{};
    inet_pton(AF_INET6, text, address.data());
    return address;
}

} // namespace

TEST(ProcessRow, ShowsWhatEachQueryAnswered) {
    using platform::MemoryCounters;
    const struct {
        ProcessLookup lookup; // {}: that query failed
        Texts row;            // empty: no row
    } cases[] = {
        {{true, "s", "/s", MemoryCounters{1048576, 1049599}}, {"7 s 1024 1024 /s"}},
        {{true, "a", "/a", MemoryCounters{1023, 1024}}, {"7 a 0 1 /a"}},
        {{true, {}, "/x", MemoryCounters{}}, {"7 <unknown> 0 0 /x"}},
        {{true, "x", {}, MemoryCounters{2048, 4096}}, {"7 x 2 4 <unknown>"}},
        {{true, "x", "/x", {}}, {"7 x 0 0 /x"}},
        {{false, "x", "/x", MemoryCounters{}}, {}},
    };
    for (const auto& c : cases) {
        const auto row = ProcessRow(7, c.lookup);
        EXPECT_EQ(row ? RowTexts({*row}) : Texts{}, c.row);
    }
}

// A process closed to us or gone, one without an executable (a kernel thread,
// or one that ended after it was opened) and one whose name query fails, among
// 1500: only the first 1024 identifiers count, and a failed enumeration leaves
// no row. No modules either for a process closed to us, gone, or whose module
// list or file-name query fails.
TEST(BuildProcessRows, SkipsWhatCannotBeReadAndConsidersTheFirst1024Identifiers) {
    FakeProcessApi api;
    for (uint32_t pid = 1; pid <= 1500; ++pid)
        api.add(pid, Running("/usr/bin/sleep"));
    api.processes[1].opens = false;
    api.processes[2].exe.reset();
    api.processes[3].baseNameFails = true;
    api.processes[4].modules.reset();
    api.processes[5].fileNameFails = true;
    for (const int32_t pid : {1, 4, 5, 1501})
        EXPECT_TRUE(ModuleRows(api, pid).empty()) << pid;
    const ListRows rows = BuildProcessRows(api);
    ASSERT_EQ(rows.size(), 1022u);
    EXPECT_EQ(RowTexts(rows).front(), "3 <unknown> 4 8 /usr/bin/sleep");
    EXPECT_EQ(rows.back().caption, "1024");
    api.ids.reset();
    EXPECT_TRUE(BuildProcessRows(api).empty());
}

// Each owner looked up once per rebuild: 100 answers, 200's name query
// fails, 300 is closed to us; a state past the MIB's shows as unknown; a
// failed or empty table gives no rows of its own; the IPv6 rows come only
// when asked for, after the IPv4 ones of their protocol.
TEST(SocketRows, EachRowNamesItsOwnerAndEachTableGivesOnlyItsOwnRows) {
    FakeProcessApi processes;
    processes.add(100, Running("/usr/sbin/sshd"));
    processes.add(200, Running("/opt/daemon"));
    processes.add(300, Running("/usr/bin/secret"));
    processes.processes[200].baseNameFails = true;
    processes.processes[300].opens = false;
    const uint32_t localhost = inet_addr("127.0.0.1");
    // An owner closed to us, or none, leaves the name and path empty.
    const Texts listeners = {"100 0.0.0.0 80 sshd /usr/sbin/sshd", "300 127.0.0.1 8080  "};
    const Texts tcp = {"100 TCP 0.0.0.0 80 0.0.0.0 0 LISTEN sshd /usr/sbin/sshd",
                       "200 TCP 127.0.0.1 40000 10.0.0.1 443 Established <unknown> /opt/daemon",
                       "300 TCP 127.0.0.1 8080 0.0.0.0 0 LISTEN  "};
    const Texts udp = {"100 UDP 0.0.0.0 53 N/A N/A N/A sshd /usr/sbin/sshd"};
    const Texts tcp6 = {"100 TCP6 :: 22 :: 0 LISTEN sshd /usr/sbin/sshd",
                        "0 TCP6 2001:db8::1:0:0:1 22 fe80::2 50000 Unknown  "};
    const Texts udp6 = {"200 UDP6 ::1 546 N/A N/A N/A <unknown> /opt/daemon"};
    const Texts listeners6 = {listeners[0], listeners[1], "100 :: 22 sshd /usr/sbin/sshd"};
    const struct {
        const char* what;
        bool ipv6;
        Texts listeners;
        Texts connections; // every TCP row, then every UDP row
        std::function<void(FakeSocketTables&)> make = [](auto&) {};
    } cases[] = {
        {"none", false, listeners, {tcp[0], tcp[1], tcp[2], udp[0]}},
        {"the TCP fetch fails", false, {}, udp, [](auto& tables) { tables.tcp.reset(); }},
        {"the UDP fetch fails", false, listeners, tcp, [](auto& tables) { tables.udp.reset(); }},
        {"both are empty", false, {}, {}, [](auto& t) { t.tcp->clear(), t.udp->clear(); }},
        {"IPv6 too", true, listeners6, {tcp[0], tcp[1], tcp[2], tcp6[0], tcp6[1], udp[0], udp6[0]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSocketTables sockets;
        sockets.tcp = std::vector<platform::MibTcpRowOwnerPid>{
            {2, 0, htons(80), 0, 0, 100},
            {5, localhost, htons(40000), inet_addr("10.0.0.1"), htons(443), 200},
            {2, localhost, htons(8080), 0, 0, 300}};
        sockets.udp = std::vector<platform::MibUdpRowOwnerPid>{{0, htons(53), 100}};
        sockets.tcp6 = std::vector<platform::MibTcp6RowOwnerPid>{
            {{}, htons(22), {}, 0, 2, 100},
            {In6("2001:db8:0:0:1::1"), htons(22), In6("fe80::2"), htons(50000), 13, 0}};
        sockets.udp6 = std::vector<platform::MibUdp6RowOwnerPid>{{In6("::1"), htons(546), 200}};
        c.make(sockets);
        EXPECT_EQ(RowTexts(BuildListenerRows(sockets, processes, c.ipv6)), c.listeners);
        processes.opens = 0;
        const ListRows connections = BuildConnectionRows(sockets, processes, c.ipv6);
        EXPECT_EQ(RowTexts(connections), c.connections);
        std::set<std::string> owners;
        for (const auto& row : connections)
            owners.insert(row.caption);
        EXPECT_EQ(processes.opens, static_cast<int>(owners.size())) << "each owner once";
    }
}
