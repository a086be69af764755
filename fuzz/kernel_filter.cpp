// The kernel filter against the decoder on any packet under any settings:
// the program built from the settings, attached to a UNIX datagram socket,
// must pass a packet, whole, exactly when DecodePacket writes a line for it.
//
// Input: the settings of SettingsInput.h, then the packet (1 to 65525 bytes).

#include "SettingsInput.h"
#include "sniffer/CaptureFilter.h"
#include "sniffer/PacketDecoder.h"
#include "support/SocketFilter.h"

#include <algorithm>

namespace {

constexpr size_t kMaxPacket = 65525;

struct LineSeen : PacketOutput {
    bool seen = false;
    void PostLine(const char*) override { seen = true; }
    void WriteDumpRecord(const uint8_t*, int, std::string_view, std::string_view, int, int,
                         std::string_view) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input(data, size);
    auto settings = ReadSettings(input);
    if (!settings || input.size() == 0)
        return 0;
    settings->DumpEnabled = 0;
    const size_t n = std::min(input.size(), kMaxPacket);
    LineSeen decoder;
    DecodePacket(input.data(), static_cast<int>(n), *settings, decoder);
    const ssize_t passed = ThroughSocketFilter(SettingsFilterProgram(*settings), {input.data(), n});
    if (passed != (decoder.seen ? static_cast<ssize_t>(n) : -1))
        __builtin_trap();
    return 0;
}
