// A recorded sock_diag reply, replayed whole and then spoilt: a dump the
// kernel marks interrupted, or one cut short, is never taken as a table.

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
        // Family and protocol are passed over; a braced list reads its
        // fields in order.
        u32(), u32();
        RecordedDump& dump = dumps.emplace_back(RecordedDump{u32(), u32(), {}});
        for (uint32_t count = u32(); count > 0; --count) {
            std::vector<uint8_t>& datagram = dump.datagrams.emplace_back(u32());
            in.read(reinterpret_cast<char*>(datagram.data()), std::ssize(datagram));
        }
    }
    return dumps;
}

DumpStatus Replay(const RecordedDump& dump) {
    DumpReader reader(dump.seq, dump.portId);
    DumpStatus status = DumpStatus::More;
    for (const auto& datagram : dump.datagrams)
        status = reader.Feed(datagram);
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
