// DecodePacket and WriteDumpRecord on any received bytes under any settings.
//
// Input: protocol selector (1 byte), DumpEnabled (1 byte), SourcePort and
// DestinationPort (4 bytes each, little-endian), the source and destination
// address filters (a length byte, then that many bytes each), then the packet:
// 1 to 65525 bytes, in a buffer of exactly that size so that any read past
// the received length is caught. Dump records go to a temporary directory.

#include "DumpLog.h"
#include "PacketDecoder.h"
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

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    std::optional<uint8_t> Byte() {
        if (size_ == 0)
            return std::nullopt;
        --size_;
        return *data_++;
    }
    std::optional<int32_t> Int32() {
        if (size_ < 4)
            return std::nullopt;
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | data_[i];
        data_ += 4;
        size_ -= 4;
        return static_cast<int32_t>(value);
    }
    std::optional<std::string> Text() {
        const auto length = Byte();
        if (!length || *length > size_)
            return std::nullopt;
        std::string text(reinterpret_cast<const char*>(data_), *length);
        data_ += *length;
        size_ -= *length;
        return text;
    }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    const uint8_t* data_;
    size_t size_;
};

std::optional<CaptureSettings> ReadSettings(Input& input) {
    static const char* const kProtocols[] = {"ANY", "TCP", "UDP", "ICMP", "IGMP", "tcp"};
    const auto protocol = input.Byte();
    const auto dump = input.Byte();
    const auto sourcePort = input.Int32();
    const auto destinationPort = input.Int32();
    auto sourceIp = input.Text();
    auto destinationIp = input.Text();
    if (!protocol || !dump || !sourcePort || !destinationPort || !sourceIp || !destinationIp)
        return std::nullopt;
    CaptureSettings settings;
    settings.Protocol = kProtocols[*protocol % std::size(kProtocols)];
    settings.DumpEnabled = *dump;
    settings.SourcePort = *sourcePort;
    settings.DestinationPort = *destinationPort;
    settings.SourceIp = std::move(*sourceIp);
    settings.DestinationIp = std::move(*destinationIp);
    return settings;
}

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
