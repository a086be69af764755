// The captured packets kept for saving: what the memory limit lets go, and
// snapshots taken while the capture appends. Which capture is saved is the
// panel test's.

#include "sniffer/PacketStore.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// The first byte of each packet in the snapshot's records, oldest first.
std::vector<uint8_t> FirstBytes(const PacketStore::Snapshot& snapshot) {
    std::vector<uint8_t> firsts;
    for (const PacketStore::Piece& piece : snapshot.records) {
        for (size_t at = 0; at < piece.size;) {
            uint32_t length;
            std::memcpy(&length, piece.bytes.get() + at + 8, sizeof length);
            firsts.push_back(piece.bytes[at + kPcapRecordHeaderBytes]);
            at += kPcapRecordHeaderBytes + length;
        }
    }
    return firsts;
}

void AppendNumbered(PacketStore& store, uint8_t from, uint8_t to) {
    for (uint8_t i = from; i < to; ++i) {
        const std::vector<uint8_t> packet(34, i); // a 50-byte record
        store.Append(packet.data(), packet.size(), {1700000000, i});
    }
}

} // namespace

// Past the limit whole chunks of the oldest packets go, and are counted.
TEST(PacketStore, LetsTheOldestChunksGoBeyondItsLimit) {
    PacketStore store(250, 100); // two records a chunk, two chunks kept
    store.StartCapture();
    AppendNumbered(store, 10, 17);
    const PacketStore::Snapshot latest = store.Latest();
    EXPECT_EQ(FirstBytes(latest), (std::vector<uint8_t>{14, 15, 16}));
    EXPECT_EQ(latest.captured, 7u);
}

// What a snapshot holds stays as it was while the capture goes on.
TEST(PacketStore, SnapshotsStayWholeWhileTheCaptureAppends) {
    PacketStore store(4000, 1000);
    store.StartCapture();
    std::thread capture([&] {
        for (int round = 0; round < 200; ++round)
            AppendNumbered(store, 0, 50);
    });
    for (int i = 0; i < 200; ++i) {
        const PacketStore::Snapshot snapshot = store.Latest();
        const std::vector<uint8_t> firsts = FirstBytes(snapshot);
        ASSERT_EQ(firsts.size(), snapshot.packets);
        for (size_t k = 1; k < firsts.size(); ++k)
            ASSERT_EQ(firsts[k], (firsts[k - 1] + 1) % 50);
    }
    capture.join();
    EXPECT_EQ(store.Latest().captured, 10000u);
}
