#include "PcapFormat.h"

#include <algorithm>
#include <cstring>

namespace {

// The magic number written in the writer's byte order tells readers both the
// byte order and that the times are in nanoseconds.
constexpr uint32_t kNanosecondMagic = 0xA1B23C4D;
constexpr uint16_t kVersionMajor = 2;
constexpr uint16_t kVersionMinor = 4;
constexpr uint32_t kSnapshotLength = 262144;
constexpr uint32_t kLinkTypeIpv4 = 228;

template <typename T> uint8_t* Put(uint8_t* to, T value) {
    std::memcpy(to, &value, sizeof value);
    return to + sizeof value;
}

} // namespace

std::array<uint8_t, kPcapFileHeaderBytes> PcapFileHeader() {
    std::array<uint8_t, kPcapFileHeaderBytes> header{};
    uint8_t* at = Put(header.data(), kNanosecondMagic);
    at = Put(at, kVersionMajor);
    at = Put(at, kVersionMinor);
    at = Put(at, int32_t{0});  // time zone: the times are UTC
    at = Put(at, uint32_t{0}); // accuracy of the times: unknown
    at = Put(at, kSnapshotLength);
    Put(at, kLinkTypeIpv4);
    return header;
}

void WritePcapRecord(uint8_t* to, const uint8_t* packet, size_t size, CaptureTime time) {
    const auto length = static_cast<uint32_t>(size);
    const uint32_t total = size >= 4 && packet[0] >> 4 == 4 ? packet[2] << 8 | packet[3] : 0;
    to = Put(to, static_cast<uint32_t>(time.seconds));
    to = Put(to, time.nanoseconds);
    to = Put(to, length);                  // captured
    to = Put(to, std::max(length, total)); // on the wire
    std::memcpy(to, packet, size);
}
