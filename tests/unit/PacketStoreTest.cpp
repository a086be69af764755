// The log's lines and the captured packets kept on disk: what the disk
// limit lets go, reading back while the capture appends, and the files
// themselves. Which capture is saved is the panel test's.

#include "sniffer/PacketStore.h"

#include "sniffer/SnifferLogLines.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t kSegment = 256 << 10;

// The first byte of each packet in the snapshot's records, oldest first.
std::vector<uint8_t> FirstBytes(const PacketStore::Snapshot& snapshot) {
    std::vector<uint8_t> firsts;
    for (const PacketStore::Piece& piece : snapshot.records) {
        std::string bytes = piece.bytes;
        if (piece.file) {
            bytes.resize(piece.size);
            piece.file->Read(piece.offset, bytes.data(), bytes.size());
        }
        for (size_t at = 0; at < bytes.size();) {
            uint32_t length;
            std::memcpy(&length, bytes.data() + at + 8, sizeof length);
            firsts.push_back(static_cast<uint8_t>(bytes[at + kPcapRecordHeaderBytes]));
            at += kPcapRecordHeaderBytes + length;
        }
    }
    return firsts;
}

void AppendNumbered(PacketStore& store, int from, int to) {
    for (int i = from; i < to; ++i) {
        const std::vector<uint8_t> packet(1000, static_cast<uint8_t>(i));
        ASSERT_EQ(store.Append(packet.data(), packet.size(), {1700000000, 0}), 0);
    }
}

// Line number's text: its lengths cross the 64 KiB blocks it is read in.
std::string LineText(uint64_t number) {
    return std::to_string(number) + std::string(number * 7919 % 3000, 'a' + number % 26);
}

} // namespace

// Past the limit whole files of the oldest lines and packets go, and are
// counted; what is kept reads back byte for byte, also as one text.
TEST(StoresOnDisk, LetTheOldestGoBeyondTheLimitAndReadBackExactly) {
    auto space = std::make_shared<ScratchSpace>(4 * kSegment);
    SnifferLogLines lines(space, kSegment);
    PacketStore packets(space, kSegment);
    packets.StartCapture();
    const uint64_t appended = 4200;
    for (uint64_t i = 0; i < appended; ++i) {
        ASSERT_EQ(lines.Append(LineText(i)), 0);
        if (i % 6 == 0)
            AppendNumbered(packets, static_cast<int>(i / 6), static_cast<int>(i / 6 + 1));
    }
    const PacketStore::Snapshot snapshot = packets.Latest();
    const std::vector<uint8_t> firsts = FirstBytes(snapshot);
    ASSERT_FALSE(firsts.empty());
    // The newest packet last, every packet kept read back, every one captured counted.
    EXPECT_EQ(std::tuple(firsts.back(), firsts.size(), snapshot.captured),
              std::tuple(uint8_t{699 % 256}, snapshot.packets, 700u));
    EXPECT_LT(snapshot.packets, 700u);
    EXPECT_GT(lines.removed(), 0u);
    ASSERT_EQ(lines.removed() + lines.size(), appended);
    for (uint64_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines.at(i), LineText(lines.removed() + i)) << i;
        ASSERT_EQ(lines.LineAtText(lines.TextOffset(i + 1) - 1), i);
        ASSERT_EQ(lines.TextOffset(i + 1) - lines.TextOffset(i),
                  LineText(lines.removed() + i).size() + 1);
    }
}

// What is read stays whole while the capture appends. Each file is the
// owner's alone, has no name, and lies in the cache directory, not in /tmp.
TEST(StoresOnDisk, ReadWholeWhileTheCaptureAppendsFromUnnamedOwnerOnlyFilesOutsideTmp) {
    auto space = std::make_shared<ScratchSpace>(16 * kSegment);
    SnifferLogLines lines(space, kSegment);
    PacketStore packets(space, kSegment);
    packets.StartCapture();
    std::thread capture([&] {
        for (int round = 0; round < 20; ++round) {
            AppendNumbered(packets, 0, 50);
            for (int i = 0; i < 1000; ++i)
                lines.Append(LineText(static_cast<uint64_t>(round * 1000 + i)));
        }
    });
    for (int i = 0; i < 200; ++i) {
        const PacketStore::Snapshot snapshot = packets.Latest();
        const std::vector<uint8_t> firsts = FirstBytes(snapshot);
        ASSERT_EQ(firsts.size(), snapshot.packets);
        for (size_t k = 1; k < firsts.size(); ++k)
            ASSERT_EQ(firsts[k], (firsts[k - 1] + 1) % 50);
        // Only a read that no removal overtook names the line it asked for.
        const uint64_t removed = lines.removed();
        const uint64_t size = lines.size();
        const std::string last = size > 0 ? lines.at(size - 1) : "";
        if (size > 0 && lines.removed() == removed) {
            ASSERT_EQ(last, LineText(removed + size - 1));
        }
    }
    capture.join();
    EXPECT_EQ(packets.Latest().captured, 1000u);
    EXPECT_EQ(lines.removed() + lines.size(), 20000u);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const std::string target = std::filesystem::read_symlink(entry.path()).string();
        if (target.find(space->Directory()) != 0)
            continue;
        struct stat status {};
        ASSERT_EQ(stat(entry.path().c_str(), &status), 0);
        EXPECT_EQ(status.st_nlink, 0u) << target;
        EXPECT_EQ(status.st_mode & 07777, 0600u) << target;
        EXPECT_NE(target.rfind("/tmp/", 0), 0u) << target;
        ++files;
    }
    EXPECT_GE(files, 2);
}
