#include "platform/SockDiagReader.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <string>

using namespace platform::sockdiag;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSeq = 7;
constexpr uint32_t kPort = 4242;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <typename T> Bytes BytesOf(const T& value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

Bytes Padded(Bytes bytes) {
    bytes.resize((bytes.size() + 3) & ~size_t{3});
    return bytes;
}

Bytes Message(uint16_t type, const Bytes& payload, uint16_t flags = NLM_F_MULTI,
              uint32_t seq = kSeq, uint32_t pid = kPort) {
    const nlmsghdr header{static_cast<uint32_t>(NLMSG_HDRLEN + payload.size()), type, flags, seq,
                          pid};
    return Padded(BytesOf(header) + payload);
}

Bytes Done(int32_t result = 0, uint16_t flags = NLM_F_MULTI) {
    return Message(NLMSG_DONE, BytesOf(result), flags);
}

Bytes Attribute(uint16_t type, const Bytes& value) {
    const nlattr header{static_cast<uint16_t>(NLA_HDRLEN + value.size()), type};
    return Padded(BytesOf(header) + value);
}

// An AF_INET6 listener on [::]:8080 with inode 99 and the given attributes.
Bytes Entry(const Bytes& attributes = {}) {
    inet_diag_msg msg{};
    msg.idiag_family = AF_INET6;
    msg.idiag_state = 10;
    msg.id.idiag_sport = htons(8080);
    msg.idiag_inode = 99;
    return BytesOf(msg) + attributes;
}

Bytes EntryMessage(const Bytes& attributes = {}, uint16_t flags = NLM_F_MULTI) {
    return Message(SOCK_DIAG_BY_FAMILY, Entry(attributes), flags);
}

struct Outcome {
    DumpStatus status;
    size_t entries;
    int kernelError;
};

Outcome Read(const std::vector<Bytes>& datagrams) {
    DumpReader reader(kSeq, kPort);
    DumpStatus status = DumpStatus::More;
    for (const auto& datagram : datagrams)
        status = reader.Feed(datagram);
    return {status, reader.TakeEntries().size(), reader.KernelError()};
}

// The kernel's replies to the four dumps (TCP, UDP; AF_INET, AF_INET6), as
// bench/sockdiag_record wrote them from a namespace holding a fixed set of
// loopback sockets: per dump the family, protocol, nlmsg_seq, port id and
// datagram count, then each datagram as a length and its bytes (u32s in host
// order).
struct RecordedDump {
    uint32_t seq = 0;
    uint32_t portId = 0;
    std::vector<Bytes> datagrams;
};

std::vector<RecordedDump> LoadRecording() {
    std::ifstream in(QUILLMARK_TEST_DATA "/sockdiag_loopback.dump", std::ios::binary);
    const auto u32 = [&in] {
        uint32_t value = 0;
        in.read(reinterpret_cast<char*>(&value), sizeof value);
        return value;
    };
    std::vector<RecordedDump> dumps(4);
    for (auto& dump : dumps) {
        u32(); // family
        u32(); // protocol
        dump.seq = u32();
        dump.portId = u32();
        dump.datagrams.resize(u32());
        for (auto& datagram : dump.datagrams) {
            datagram.resize(u32());
            in.read(reinterpret_cast<char*>(datagram.data()), datagram.size());
        }
    }
    if (!in)
        throw std::runtime_error("sockdiag_loopback.dump is cut short");
    return dumps;
}

std::vector<InetDiagEntry> Replay(const RecordedDump& dump) {
    DumpReader reader(dump.seq, dump.portId);
    auto status = DumpStatus::More;
    for (const auto& datagram : dump.datagrams)
        status = reader.Feed(datagram);
    EXPECT_EQ(status, DumpStatus::Done);
    return reader.TakeEntries();
}

std::string Text(const InetDiagEntry& e) {
    char local[INET6_ADDRSTRLEN], remote[INET6_ADDRSTRLEN];
    inet_ntop(e.family, e.localAddr.data(), local, sizeof local);
    inet_ntop(e.family, e.remoteAddr.data(), remote, sizeof remote);
    const char* v6Only = !e.v6Only ? "-" : *e.v6Only ? "1" : "0";
    return std::to_string(e.state) + " " + local + " " + std::to_string(e.localPort) + " " +
           remote + " " + std::to_string(e.remotePort) + " inode " + std::to_string(e.inode) +
           " v6only " + v6Only;
}

} // namespace

TEST(SockDiagReader, ReadsTheRecordedLoopbackDumpsWhole) {
    const std::vector<std::vector<std::string>> expected = {
        {// TCP, AF_INET: listener, both ends of a connection, a client of
         // the dual-stack listener, TIME_WAIT
         "10 127.0.0.1 5001 0.0.0.0 0 inode 35518 v6only -",
         "1 127.0.0.1 5001 127.0.0.1 5002 inode 35520 v6only -",
         "1 127.0.0.1 5004 127.0.0.1 5003 inode 35522 v6only -",
         "1 127.0.0.1 5002 127.0.0.1 5001 inode 35519 v6only -",
         "6 127.0.0.1 5011 127.0.0.1 5001 inode 0 v6only -"},
        {// TCP, AF_INET6: dual-stack, v6-only and ::1 listeners, the
         // dual-stack listener's accepted IPv4 connection
         "10 :: 5003 :: 0 inode 35521 v6only 0", "10 :: 5005 :: 0 inode 35524 v6only 1",
         "10 ::1 5006 :: 0 inode 35525 v6only 1",
         "1 ::ffff:127.0.0.1 5003 ::ffff:127.0.0.1 5004 inode 35523 v6only -"},
        {"7 127.0.0.1 5007 0.0.0.0 0 inode 35526 v6only -"},
        {"7 :: 5008 :: 0 inode 35527 v6only 0", "7 :: 5009 :: 0 inode 35528 v6only 1",
         "1 ::ffff:127.0.0.1 5010 ::ffff:127.0.0.1 5007 inode 35529 v6only -"},
    };
    const auto dumps = LoadRecording();
    for (size_t i = 0; i < dumps.size(); ++i) {
        std::vector<std::string> texts;
        for (const auto& entry : Replay(dumps[i]))
            texts.push_back(Text(entry));
        EXPECT_EQ(texts, expected[i]) << "dump " << i;
    }
}

TEST(SockDiagReader, EndsEachDumpAsItsMessagesSay) {
    const struct {
        const char* name;
        std::vector<Bytes> datagrams;
        Outcome outcome;
    } cases[] = {
        {"entries then DONE", {EntryMessage() + EntryMessage() + Done()}, {DumpStatus::Done, 2, 0}},
        {"DONE in a later datagram",
         {EntryMessage(), EntryMessage() + Done()},
         {DumpStatus::Done, 2, 0}},
        {"NLMSG_NOOP passed over", {Message(NLMSG_NOOP, {}) + Done()}, {DumpStatus::Done, 0, 0}},
        {"another request's messages passed over",
         {Message(SOCK_DIAG_BY_FAMILY, Entry(), NLM_F_MULTI, kSeq + 1) +
          Message(SOCK_DIAG_BY_FAMILY, Entry(), NLM_F_MULTI, kSeq, kPort + 1) +
          Message(NLMSG_DONE, BytesOf(-EIO), NLM_F_MULTI, kSeq - 1) + Done()},
         {DumpStatus::Done, 0, 0}},
        {"bytes after DONE ignored", {Done() + Bytes{1, 2, 3}}, {DumpStatus::Done, 0, 0}},
        {"datagrams after DONE ignored", {Done(), EntryMessage()}, {DumpStatus::Done, 0, 0}},
        {"DONE carrying an error",
         {EntryMessage() + Done(-ENOBUFS)},
         {DumpStatus::KernelError, 1, -ENOBUFS}},
        {"NLMSG_ERROR",
         {Message(NLMSG_ERROR, BytesOf(nlmsgerr{-ENOENT, {}}))},
         {DumpStatus::KernelError, 0, -ENOENT}},
        {"DUMP_INTR on an entry",
         {EntryMessage({}, NLM_F_MULTI | NLM_F_DUMP_INTR) + Done()},
         {DumpStatus::Interrupted, 0, 0}},
        {"DUMP_INTR on DONE",
         {EntryMessage(), Done(0, NLM_F_MULTI | NLM_F_DUMP_INTR)},
         {DumpStatus::Interrupted, 1, 0}},
        {"failure is final",
         {Message(NLMSG_ERROR, BytesOf(-EIO)), Done()},
         {DumpStatus::KernelError, 0, -EIO}},
    };
    for (const auto& c : cases) {
        const Outcome got = Read(c.datagrams);
        EXPECT_EQ(got.status, c.outcome.status) << c.name;
        EXPECT_EQ(got.entries, c.outcome.entries) << c.name;
        EXPECT_EQ(got.kernelError, c.outcome.kernelError) << c.name;
    }
}

TEST(SockDiagReader, RejectsLengthsThatDoNotAddUp) {
    Bytes shortHeader = EntryMessage();
    shortHeader[0] = NLMSG_HDRLEN - 1;
    Bytes longHeader = EntryMessage();
    longHeader[0] += 4;
    Bytes shortEntry = Message(SOCK_DIAG_BY_FAMILY, Bytes(sizeof(inet_diag_msg) - 1));
    const struct {
        const char* name;
        Bytes datagram;
    } cases[] = {
        {"empty datagram", {}},
        {"bytes short of a header", Bytes{1, 2, 3}},
        {"nlmsg_len below the header", shortHeader},
        {"nlmsg_len beyond the datagram", longHeader},
        {"a message cut short after a whole one", EntryMessage() + Bytes(NLMSG_HDRLEN - 1)},
        {"entry shorter than inet_diag_msg", shortEntry},
        {"DONE without its result", Message(NLMSG_DONE, {})},
        {"NLMSG_ERROR without its error", Message(NLMSG_ERROR, Bytes{0, 0})},
        {"attribute shorter than its header", EntryMessage(Bytes{2, 0, 8, 0})},
        {"attribute past the message", EntryMessage(Bytes{12, 0, 8, 0, 0, 0, 0, 0})},
        {"bytes short of an attribute header", EntryMessage(Bytes{5, 0})},
        {"INET_DIAG_SKV6ONLY without its value", EntryMessage(Attribute(INET_DIAG_SKV6ONLY, {}))},
    };
    for (const auto& c : cases) {
        DumpReader reader(kSeq, kPort);
        EXPECT_EQ(reader.Feed(c.datagram), DumpStatus::Malformed) << c.name;
    }
}

// Any prefix of a datagram is read without overrunning it: whole messages
// are taken, and a cut inside one is refused.
TEST(SockDiagReader, ReadsEveryPrefixOfARecordedDatagramSafely) {
    const auto dump = LoadRecording().at(0);
    const Bytes& datagram = dump.datagrams.at(0);
    std::vector<size_t> boundaries{0};
    for (size_t at = 0; at < datagram.size();) {
        nlmsghdr header;
        std::memcpy(&header, datagram.data() + at, sizeof header);
        at += NLMSG_ALIGN(header.nlmsg_len);
        boundaries.push_back(at);
    }
    for (size_t length = 1; length <= datagram.size(); ++length) {
        DumpReader reader(dump.seq, dump.portId);
        const DumpStatus status = reader.Feed({datagram.data(), length});
        const auto whole = std::find(boundaries.begin(), boundaries.end(), length);
        if (whole != boundaries.end()) {
            EXPECT_EQ(status, DumpStatus::More) << length;
            EXPECT_EQ(reader.TakeEntries().size(), size_t(whole - boundaries.begin())) << length;
        } else {
            EXPECT_EQ(status, DumpStatus::Malformed) << length;
        }
    }
}
