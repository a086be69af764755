// The sock_diag dump reader on crafted replies: a dump is whole only once
// NLMSG_DONE has come, and every failure is final, so a table that failed
// contributes no rows. What it reads from the kernel's real replies is
// LinuxSocketTables' test; that no reply makes it read past a datagram is
// the netlink fuzz target's.

#include "platform/SockDiagReader.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>

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

Bytes Message(uint16_t type, const Bytes& payload, uint16_t flags = NLM_F_MULTI,
              uint32_t seq = kSeq, uint32_t pid = kPort) {
    const nlmsghdr header{static_cast<uint32_t>(NLMSG_HDRLEN + payload.size()), type, flags, seq,
                          pid};
    return BytesOf(header) + payload;
}

Bytes Done(int32_t result = 0, uint16_t flags = NLM_F_MULTI) {
    return Message(NLMSG_DONE, BytesOf(result), flags);
}

Bytes Entry(uint16_t flags = NLM_F_MULTI, uint32_t seq = kSeq, uint32_t pid = kPort) {
    return Message(SOCK_DIAG_BY_FAMILY, BytesOf(inet_diag_msg{}), flags, seq, pid);
}

} // namespace

TEST(SockDiagReader, EndsEachDumpAsItsMessagesSay) {
    const struct {
        const char* name;
        std::vector<Bytes> datagrams;
        DumpStatus status;
        size_t entries;
        int kernelError;
    } cases[] = {
        {"entries then DONE", {Entry() + Entry() + Done()}, DumpStatus::Done, 2, 0},
        {"DONE in a later datagram", {Entry(), Entry() + Done()}, DumpStatus::Done, 2, 0},
        {"entries without DONE", {Entry(), Entry()}, DumpStatus::More, 2, 0},
        {"another request's messages passed over",
         {Entry(NLM_F_MULTI, kSeq + 1) + Entry(NLM_F_MULTI, kSeq, kPort + 1) +
          Message(NLMSG_DONE, BytesOf(-EIO), NLM_F_MULTI, kSeq - 1) + Done()},
         DumpStatus::Done,
         0,
         0},
        {"datagrams after DONE ignored", {Done(), Entry()}, DumpStatus::Done, 0, 0},
        {"DONE carrying an error",
         {Entry() + Done(-ENOBUFS)},
         DumpStatus::KernelError,
         1,
         -ENOBUFS},
        {"NLMSG_ERROR",
         {Message(NLMSG_ERROR, BytesOf(nlmsgerr{-ENOENT, {}}))},
         DumpStatus::KernelError,
         0,
         -ENOENT},
        {"DUMP_INTR on an entry",
         {Entry(NLM_F_MULTI | NLM_F_DUMP_INTR) + Done()},
         DumpStatus::Interrupted,
         0,
         0},
        {"DUMP_INTR on DONE",
         {Entry(), Done(0, NLM_F_MULTI | NLM_F_DUMP_INTR)},
         DumpStatus::Interrupted,
         1,
         0},
        {"a length beyond the datagram", {Entry() + Bytes{1, 2, 3}}, DumpStatus::Malformed, 1, 0},
        {"failure is final",
         {Message(NLMSG_ERROR, BytesOf(-EIO)), Done()},
         DumpStatus::KernelError,
         0,
         -EIO},
    };
    for (const auto& c : cases) {
        DumpReader reader(kSeq, kPort);
        DumpStatus status = DumpStatus::More;
        for (const auto& datagram : c.datagrams)
            status = reader.Feed(datagram);
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(reader.TakeEntries().size(), c.entries) << c.name;
        EXPECT_EQ(reader.KernelError(), c.kernelError) << c.name;
    }
}
