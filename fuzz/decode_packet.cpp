// DecodePacket and WriteDumpRecord on any received bytes under any settings.
//
// Input: the settings of SettingsInput.h, then the packet: 1 to 65525 bytes,
// in a buffer of exactly that size so that any read past the received length
// is caught. Dump records go to a temporary directory.

#include "SettingsInput.h"
#include "sniffer/DumpLog.h"
#include "sniffer/PacketDecoder.h"
#include "support/SnifferFakes.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

constexpr size_t kMaxPacket = 65525;
// The decoder builds its lines in 192-byte buffers; a longer line would be cut.
constexpr size_t kLongestLine = 190;

// Lines are checked as they come; dump records go to the real file writer.
class CheckedOutput : public PacketOutput {
  public:
    CheckedOutput(platform::FileSystem& files, platform::LocalClock& clock)
        : writer_(files, clock) {}
    void PostLine(const char* text) override {
        if (std::strlen(text) > kLongestLine)
            __builtin_trap();
    }
    void WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                         std::string_view destinationIp, int sourcePort, int destinationPort,
                         std::string_view protocol) override {
        writer_.WriteDumpRecord(packet, n, sourceIp, destinationIp, sourcePort, destinationPort,
                                protocol);
    }

  private:
    DumpWriter writer_;
};

struct DumpPlace {
    TempExecutableFiles files;
    FixedClock clock;
    SetAsideNumbers numbers;
    DumpPlace() { PrepareDumpFile(files, numbers); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DumpPlace place;
    Input input(data, size);
    const auto settings = ReadSettings(input);
    if (!settings || input.size() == 0)
        return 0;
    const size_t n = std::min(input.size(), kMaxPacket);
    const auto packet = std::make_unique<uint8_t[]>(n);
    std::memcpy(packet.get(), input.data(), n);
    CheckedOutput output(place.files, place.clock);
    DecodePacket(packet.get(), static_cast<int>(n), *settings, output);
    // One record at most stays behind, so a long run fills no disk.
    unlink(DumpFileName(place.files).c_str());
    return 0;
}
