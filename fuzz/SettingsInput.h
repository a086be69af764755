#pragma once

// The input format that the packet fuzz targets share, so each can start
// from the other's corpus: protocol selector (1 byte), DumpEnabled (1 byte),
// SourcePort and DestinationPort (4 bytes each, little-endian), the source
// and destination address filters (a length byte, then that many bytes
// each), then the packet.

#include "sniffer/SnifferSettings.h"

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

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

inline std::optional<CaptureSettings> ReadSettings(Input& input) {
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
