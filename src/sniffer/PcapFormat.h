#pragma once

// The classic pcap file format: a file header, then one record per packet,
// each a record header followed by the packet's bytes. Times are kept to the
// nanosecond, and the link type says every packet is an IPv4 packet from its
// IP header on, which is what the capture socket delivers.

#include <array>
#include <cstddef>
#include <cstdint>

struct CaptureTime {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
};

inline constexpr size_t kPcapFileHeaderBytes = 24;
inline constexpr size_t kPcapRecordHeaderBytes = 16;

std::array<uint8_t, kPcapFileHeaderBytes> PcapFileHeader();

// Writes the record of a packet's size bytes captured, kPcapRecordHeaderBytes
// + size bytes, at to. The socket keeps at most 65,525 bytes of a packet; the
// length on the wire is the one the packet's IPv4 header gives.
void WritePcapRecord(uint8_t* to, const uint8_t* packet, size_t size, CaptureTime time);
