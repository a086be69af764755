#pragma once

// The kernel's replies to the four socket dumps, recorded by
// bench/sockdiag_record in a private network namespace holding a fixed set of
// loopback sockets. Layout, host byte order: per dump the family, protocol,
// nlmsg_seq, port id and datagram count (5 x u32), then each datagram as a
// u32 length and its bytes.

#include "platform/SockDiagReader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

struct RecordedDump {
    uint32_t family = 0;
    uint32_t protocol = 0;
    uint32_t seq = 0;
    uint32_t portId = 0;
    std::vector<std::vector<uint8_t>> datagrams;
};

inline std::vector<RecordedDump> LoadSockDiagRecording() {
    std::ifstream in(QUILLMARK_TEST_DATA "/sockdiag_loopback.dump", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    size_t offset = 0;
    const auto take = [&](size_t count) {
        if (bytes.size() - offset < count)
            throw std::runtime_error("sockdiag_loopback.dump is cut short");
        const uint8_t* at = bytes.data() + offset;
        offset += count;
        return at;
    };
    const auto u32 = [&] {
        uint32_t value;
        std::memcpy(&value, take(sizeof value), sizeof value);
        return value;
    };
    std::vector<RecordedDump> dumps;
    while (offset < bytes.size()) {
        RecordedDump dump{u32(), u32(), u32(), u32(), {}};
        for (uint32_t count = u32(); count > 0; --count) {
            const uint32_t length = u32();
            const uint8_t* at = take(length);
            dump.datagrams.emplace_back(at, at + length);
        }
        dumps.push_back(std::move(dump));
    }
    if (dumps.size() != 4)
        throw std::runtime_error("sockdiag_loopback.dump holds no four dumps");
    return dumps;
}

// The entries a recorded dump holds, read as the tables read them; throws
// unless the dump reads to its end.
inline std::vector<platform::sockdiag::InetDiagEntry> ReplayDump(const RecordedDump& dump) {
    platform::sockdiag::DumpReader reader(dump.seq, dump.portId);
    auto status = platform::sockdiag::DumpStatus::More;
    for (const auto& datagram : dump.datagrams)
        status = reader.Feed(datagram);
    if (status != platform::sockdiag::DumpStatus::Done)
        throw std::runtime_error("a recorded dump did not read to its end");
    return reader.TakeEntries();
}
