#pragma once

// Turns one received IPv4 packet into its log lines and dump call, under the
// filters of the capture settings. Pure logic: both outputs go through
// PacketOutput, so the decoder runs without a socket or a window.

#include "SnifferSettings.h"

#include <cstdint>
#include <string_view>

class PacketOutput {
  public:
    virtual ~PacketOutput() = default;
    // text is zero-terminated and lives only for the call.
    virtual void PostLine(const char* text) = 0;
    virtual void WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                                 std::string_view destinationIp, int sourcePort,
                                 int destinationPort, std::string_view protocol) = 0;
};

// packet holds n received bytes (n >= 1), IP header first; every byte at or
// beyond n reads as 0. True when the packet got a line.
bool DecodePacket(const uint8_t* packet, int n, const CaptureSettings& settings,
                  PacketOutput& output);
