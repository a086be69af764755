// A recorded sock_diag reply, replayed whole and then spoilt: a dump the
// kernel marks interrupted, or one cut short, is never taken as a table.

#include "SocketRows.h"
#include "platform/MibTables.h"
#include "platform/SockDiagReader.h"

#include <fstream>
#include <gtest/gtest.h>
#include <linux/netlink.h>

using namespace platform::sockdiag;

namespace {

struct RecordedDump {
    uint32_t seq = 0, portId = 0;
    std::vector<std::vector<uint8_t>> datagrams;
};

// The layout bench/sockdiag_record.cpp writes.
std::vector<RecordedDump> ReadRecording() {
    std::ifstream in(QUILLMARK_TEST_DATA "/sockdiag_loopback.dump", std::ios::binary);
    const auto u32 = [&] {
        uint32_t v = 0;
        in.read(reinterpret_cast<char*>(&v), 4);
        return v;
    };
    std::vector<RecordedDump> dumps;
    while (in.peek() != EOF) {
        RecordedDump dump;
        u32(), u32(); // family and protocol
        dump.seq = u32();
        dump.portId = u32();
        for (uint32_t count = u32(); count > 0; --count) {
            std::vector<uint8_t> datagram(u32());
            in.read(reinterpret_cast<char*>(datagram.data()),
                    static_cast<std::streamsize>(datagram.size()));
            dump.datagrams.push_back(std::move(datagram));
        }
        dumps.push_back(std::move(dump));
    }
    return dumps;
}

DumpStatus Replay(const RecordedDump& dump, std::vector<InetDiagEntry>* entries = nullptr) {
    DumpReader reader(dump.seq, dump.portId);
    DumpStatus status = DumpStatus::More;
    for (const auto& datagram : dump.datagrams)
        status = reader.Feed(datagram);
    if (entries) {
        const auto read = reader.TakeEntries();
        entries->insert(entries->end(), read.begin(), read.end());
    }
    return status;
}

} // namespace

TEST(SockDiagReplay, ARecordedDumpIsReadWholeAndASpoiltOneNever) {
    const std::vector<RecordedDump> dumps = ReadRecording();
    ASSERT_EQ(dumps.size(), 4u) << "TCP and UDP, each over AF_INET and AF_INET6";
    for (const RecordedDump& dump : dumps) {
        EXPECT_EQ(Replay(dump), DumpStatus::Done);
        RecordedDump interrupted = dump;
        interrupted.datagrams.front()[offsetof(nlmsghdr, nlmsg_flags)] |= NLM_F_DUMP_INTR;
        EXPECT_EQ(Replay(interrupted), DumpStatus::Interrupted);
        RecordedDump cut = dump;
        cut.datagrams.front().pop_back();
        EXPECT_EQ(Replay(cut), DumpStatus::Malformed);
    }
}

// Each recorded socket is a row of one table: the dual-stack ones in the IPv4
// tables, those on :: with IPV6_V6ONLY or on ::1 in the IPv6 ones.
TEST(SockDiagReplay, EachRecordedSocketIsARowOfOneFamily) {
    const std::vector<RecordedDump> dumps = ReadRecording();
    ASSERT_EQ(dumps.size(), 4u);
    std::vector<InetDiagEntry> tcp, udp;
    for (size_t i = 0; i < dumps.size(); ++i)
        ASSERT_EQ(Replay(dumps[i], i < 2 ? &tcp : &udp), DumpStatus::Done);
    const platform::SocketOwnerMap owners({});
    const auto tcp6 = platform::MakeTcp6Table(tcp, owners);
    const auto udp6 = platform::MakeUdp6Table(udp, owners);
    EXPECT_EQ(platform::MakeTcpTable(tcp, owners).size() + tcp6.size(), tcp.size());
    EXPECT_EQ(platform::MakeUdpTable(udp, owners).size() + udp6.size(), udp.size());
    std::vector<std::string> ipv6;
    for (const auto& row : tcp6)
        ipv6.push_back(Address6Text(row.ucLocalAddr) + " " +
                       std::to_string(PortNumber(row.dwLocalPort)) + " " +
                       Address6Text(row.ucRemoteAddr) + " " + TcpStateName(row.dwState));
    for (const auto& row : udp6)
        ipv6.push_back(Address6Text(row.ucLocalAddr) + " " +
                       std::to_string(PortNumber(row.dwLocalPort)));
    EXPECT_EQ(ipv6,
              (std::vector<std::string>{":: 5005 :: LISTEN", "::1 5006 :: LISTEN", ":: 5009"}));
}
