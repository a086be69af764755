#include "PacketDecoder.h"

#include <array>
#include <charconv>
#include <cstring>

namespace {

constexpr char kSeparator[] = "-------------------------------------------------";

// The received bytes; anything at or beyond the received length reads as 0,
// so a short packet is decoded like one padded with zeros.
class PacketBytes {
  public:
    PacketBytes(const uint8_t* data, int n) : data_(data), n_(n) {}
    unsigned operator[](int offset) const { return offset < n_ ? data_[offset] : 0u; }
    unsigned Word(int offset) const { return (*this)[offset] * 256 + (*this)[offset + 1]; }

  private:
    const uint8_t* data_;
    int n_;
};

// A log line built in place: the longest line is about 125 characters, so
// no line needs the heap.
class Line {
  public:
    Line& operator<<(std::string_view text) {
        const size_t count = std::min(text.size(), text_.size() - 1 - size_);
        std::memcpy(text_.data() + size_, text.data(), count);
        size_ += count;
        return *this;
    }
    Line& operator<<(unsigned value) {
        char digits[10];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        return *this << std::string_view(digits, static_cast<size_t>(end - digits));
    }
    const char* c_str() {
        text_[size_] = '\0';
        return text_.data();
    }
    std::string_view view() const { return {text_.data(), size_}; }

  private:
    std::array<char, 192> text_;
    size_t size_ = 0;
};

struct IpHeader {
    int n;
    int headerLength;
    unsigned id;
    unsigned ttl;
    unsigned protocol;
    Line source;
    Line destination;
};

Line AddressText(const PacketBytes& bytes, int offset) {
    Line text;
    text << bytes[offset] << "." << bytes[offset + 1] << "." << bytes[offset + 2] << "."
         << bytes[offset + 3];
    return text;
}

IpHeader ReadIpHeader(const PacketBytes& bytes, int n) {
    // The identification's first byte counts as the low-order one.
    return {n,
            4 * static_cast<int>(bytes[0] & 0x0F),
            bytes[4] + 256 * bytes[5],
            bytes[8],
            bytes[9],
            AddressText(bytes, 12),
            AddressText(bytes, 16)};
}

bool PassesAddressFilters(const CaptureSettings& settings, const IpHeader& ip) {
    if (!settings.SourceIp.empty() && settings.SourceIp != ip.source.view())
        return false;
    return settings.DestinationIp.empty() || settings.DestinationIp == ip.destination.view();
}

bool PassesProtocolFilter(const CaptureSettings& settings, std::string_view name) {
    return settings.Protocol == name || settings.Protocol == "ANY";
}

// "<kind> Packet ID:<id>  "
void AppendHead(Line& line, std::string_view kind, const IpHeader& ip) {
    line << kind << " Packet ID:" << ip.id << "  ";
}

void AppendSizeAndTtl(Line& line, const IpHeader& ip) {
    line << " Size: " << static_cast<unsigned>(ip.n) << "b TTL: " << ip.ttl;
}

void Post(PacketOutput& output, Line& line) {
    output.PostLine(line.c_str());
    output.PostLine(kSeparator);
}

// ICMP, IGMP and the "Errorneous" lines: addresses without ports.
void PostPlainLine(PacketOutput& output, std::string_view kind, const IpHeader& ip) {
    Line line;
    AppendHead(line, kind, ip);
    line << ip.source.view() << " > " << ip.destination.view();
    AppendSizeAndTtl(line, ip);
    Post(output, line);
}

Line PortsLine(std::string_view kind, const IpHeader& ip, unsigned sourcePort,
               unsigned destinationPort) {
    Line line;
    AppendHead(line, kind, ip);
    line << ip.source.view() << ":" << sourcePort << " > " << ip.destination.view() << ":"
         << destinationPort;
    AppendSizeAndTtl(line, ip);
    return line;
}

void AppendFlags(Line& line, unsigned flags) {
    static constexpr std::pair<unsigned, std::string_view> kNames[] = {
        {0x20, "URG "}, {0x10, "ACK "}, {0x08, "PSH "},
        {0x04, "RST "}, {0x02, "SYN "}, {0x01, "FIN "}};
    for (const auto& [bit, name] : kNames)
        if (flags & bit)
            line << name;
}

// The dump record of a packet that was shown, when the dump switch is on.
void DumpIfEnabled(const CaptureSettings& settings, PacketOutput& output, const uint8_t* packet,
                   const IpHeader& ip, unsigned sourcePort, unsigned destinationPort,
                   std::string_view protocol) {
    if (settings.DumpEnabled == 1)
        output.WriteDumpRecord(packet, ip.n, ip.source.view(), ip.destination.view(),
                               static_cast<int>(sourcePort), static_cast<int>(destinationPort),
                               protocol);
}

// False when a port filter rejects the packet.
bool DecodeTcp(const PacketBytes& bytes, const IpHeader& ip, const CaptureSettings& settings,
               PacketOutput& output, const uint8_t* packet) {
    const int h = ip.headerLength;
    if (h >= ip.n) {
        PostPlainLine(output, "Errorneous TCP", ip);
        return true;
    }
    const unsigned sourcePort = bytes.Word(h);
    const unsigned destinationPort = bytes.Word(h + 2);
    if (settings.SourcePort != 0 && static_cast<int64_t>(sourcePort) != settings.SourcePort)
        return false;
    if (settings.DestinationPort != 0 &&
        static_cast<int64_t>(destinationPort) != settings.DestinationPort)
        return false;
    Line line = PortsLine("TCP", ip, sourcePort, destinationPort);
    line << " FLAGS: ";
    AppendFlags(line, bytes[h + 13]);
    Post(output, line);
    DumpIfEnabled(settings, output, packet, ip, sourcePort, destinationPort, "TCP");
    return true;
}

void DecodeUdp(const PacketBytes& bytes, const IpHeader& ip, const CaptureSettings& settings,
               PacketOutput& output, const uint8_t* packet) {
    const int h = ip.headerLength;
    if (h >= ip.n)
        return PostPlainLine(output, "Errorneous UDP", ip);
    const unsigned sourcePort = bytes.Word(h);
    const unsigned destinationPort = bytes.Word(h + 2);
    Line line = PortsLine("UDP", ip, sourcePort, destinationPort);
    Post(output, line);
    DumpIfEnabled(settings, output, packet, ip, sourcePort, destinationPort, "UDP");
}

void DecodeOther(const IpHeader& ip, const CaptureSettings& settings, PacketOutput& output,
                 const uint8_t* packet) {
    Line kind;
    kind << "PROTO ID (Check RFC790 for proto description):" << ip.protocol;
    PostPlainLine(output, kind.view(), ip);
    DumpIfEnabled(settings, output, packet, ip, 0, 0, "Unknown to this software");
}

} // namespace

bool DecodePacket(const uint8_t* packet, int n, const CaptureSettings& settings,
                  PacketOutput& output) {
    const PacketBytes bytes(packet, n);
    const IpHeader ip = ReadIpHeader(bytes, n);
    if (!PassesAddressFilters(settings, ip))
        return false;
    switch (ip.protocol) {
    case 1:
        if (!PassesProtocolFilter(settings, "ICMP"))
            return false;
        PostPlainLine(output, "ICMP", ip);
        return true;
    case 2:
        if (!PassesProtocolFilter(settings, "IGMP"))
            return false;
        PostPlainLine(output, "IGMP", ip);
        return true;
    case 6:
        return PassesProtocolFilter(settings, "TCP") &&
               DecodeTcp(bytes, ip, settings, output, packet);
    case 17:
        if (!PassesProtocolFilter(settings, "UDP"))
            return false;
        DecodeUdp(bytes, ip, settings, output, packet);
        return true;
    default:
        if (settings.Protocol != "ANY")
            return false;
        DecodeOther(ip, settings, output, packet);
        return true;
    }
}
