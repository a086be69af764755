#include "PacketDecoder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kSeparator = "-------------------------------------------------";

// Lines and dump calls in the order the decoder made them.
struct RecordingOutput : PacketOutput {
    std::vector<std::string> calls;
    void PostLine(const char* text) override { calls.emplace_back(text); }
    void WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                         std::string_view destinationIp, int sourcePort, int destinationPort,
                         std::string_view protocol) override {
        calls.push_back("dump " + std::string(protocol) + " " + std::string(sourceIp) + ":" +
                        std::to_string(sourcePort) + " > " + std::string(destinationIp) + ":" +
                        std::to_string(destinationPort) + " n=" + std::to_string(n) +
                        " first=" + std::to_string(packet[0]));
    }
};

// Ports 1025 and 80, data offset 5, SYN.
std::vector<uint8_t> TcpSynHeader() {
    return {0x04, 0x01, 0x00, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x02};
}

struct Packet {
    uint8_t versionIhl = 0x45;
    uint8_t id[2] = {0x12, 0x34};
    uint8_t protocol = 6;
    uint8_t source[4] = {10, 0, 0, 2};
    uint8_t destination[4] = {10, 0, 0, 1};
    std::vector<uint8_t> transport = TcpSynHeader();
    size_t size = 60; // bytes received: the header and transport, then zeros

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes(std::max<size_t>(size, 80), 0);
        bytes[0] = versionIhl;
        bytes[4] = id[0];
        bytes[5] = id[1];
        bytes[8] = 128;
        bytes[9] = protocol;
        std::copy_n(source, 4, bytes.begin() + 12);
        std::copy_n(destination, 4, bytes.begin() + 16);
        std::copy(transport.begin(), transport.end(), bytes.begin() + 4 * (versionIhl & 0x0F));
        bytes.resize(size); // nothing past the received bytes exists
        return bytes;
    }
};

Packet WithProtocol(uint8_t protocol, size_t size = 60) {
    Packet packet;
    packet.protocol = protocol;
    packet.size = size;
    return packet;
}

Packet WithFlags(uint8_t flags) {
    Packet packet;
    packet.transport[13] = flags;
    return packet;
}

CaptureSettings Any() {
    return {"ANY", "", "", "127.0.0.1", 0, 0, 0};
}

CaptureSettings With(std::string protocol, std::string source = "", std::string destination = "",
                     int32_t sourcePort = 0, int32_t destinationPort = 0, int32_t dump = 0) {
    return {std::move(protocol),
            std::move(destination),
            std::move(source),
            "127.0.0.1",
            destinationPort,
            sourcePort,
            dump};
}

std::vector<std::string> Decode(const Packet& packet, const CaptureSettings& settings) {
    const std::vector<uint8_t> bytes = packet.Bytes();
    RecordingOutput output;
    DecodePacket(bytes.data(), static_cast<int>(bytes.size()), settings, output);
    return output.calls;
}

struct Case {
    const char* name;
    Packet packet;
    CaptureSettings settings;
    std::vector<std::string> calls;
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.packet, c.settings), c.calls) << c.name;
}

const std::string kTcpSyn =
    "TCP Packet ID:13330  10.0.0.2:1025 > 10.0.0.1:80 Size: 60b TTL: 128 FLAGS: SYN ";
const std::string kUdp = "UDP Packet ID:13330  10.0.0.2:1025 > 10.0.0.1:80 Size: 60b TTL: 128";

} // namespace

TEST(DecodePacket, BuildsEverySummaryLineKind) {
    Check({
        {"tcp", Packet{}, Any(), {kTcpSyn, kSeparator}},
        {"udp", WithProtocol(17), Any(), {kUdp, kSeparator}},
        {"icmp",
         WithProtocol(1),
         Any(),
         {"ICMP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128", kSeparator}},
        {"igmp",
         WithProtocol(2),
         Any(),
         {"IGMP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128", kSeparator}},
        {"protocol 47 under ANY",
         WithProtocol(47),
         Any(),
         {"PROTO ID (Check RFC790 for proto description):47 Packet ID:13330  10.0.0.2 > "
          "10.0.0.1 Size: 60b TTL: 128",
          kSeparator}},
        {"tcp of 20 bytes",
         Packet{.size = 20},
         Any(),
         {"Errorneous TCP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 20b TTL: 128", kSeparator}},
        {"udp of 20 bytes",
         WithProtocol(17, 20),
         Any(),
         {"Errorneous UDP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 20b TTL: 128", kSeparator}},
        {"identification 00 01",
         Packet{.id = {0x00, 0x01}, .protocol = 1},
         Any(),
         {"ICMP Packet ID:256  10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128", kSeparator}},
        {"identification 01 00",
         Packet{.id = {0x01, 0x00}, .protocol = 1},
         Any(),
         {"ICMP Packet ID:1  10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128", kSeparator}},
        {"a single byte",
         Packet{.size = 1},
         Any(),
         {"PROTO ID (Check RFC790 for proto description):0 Packet ID:0  0.0.0.0 > 0.0.0.0 "
          "Size: 1b TTL: 0",
          kSeparator}},
    });
}

TEST(DecodePacket, ListsTcpFlagsInFixedOrderEachWithItsSpace) {
    const std::string head = "TCP Packet ID:13330  10.0.0.2:1025 > 10.0.0.1:80 Size: 60b TTL: 128";
    Check({
        {"none", WithFlags(0x00), Any(), {head + " FLAGS: ", kSeparator}},
        {"ack psh", WithFlags(0x18), Any(), {head + " FLAGS: ACK PSH ", kSeparator}},
        {"fin ack", WithFlags(0x11), Any(), {head + " FLAGS: ACK FIN ", kSeparator}},
        {"all, with the two unnamed bits",
         WithFlags(0xFF),
         Any(),
         {head + " FLAGS: URG ACK PSH RST SYN FIN ", kSeparator}},
        {"only the unnamed bits", WithFlags(0xC0), Any(), {head + " FLAGS: ", kSeparator}},
    });
}

TEST(DecodePacket, TakesHeaderLengthFromIhlAlone) {
    Packet ihl0 = WithProtocol(17, 28);
    ihl0.versionIhl = 0x40;
    ihl0.transport = {};
    Packet ihl15At61 = Packet{.versionIhl = 0x4F, .transport = {0x01}, .size = 61};
    Packet ihl15At60 = Packet{.versionIhl = 0x4F, .size = 60};
    Packet bytes21 = Packet{.transport = {0x05}, .size = 21};
    Check({
        // The ports are the first four bytes of the IP header itself.
        {"ihl 0",
         ihl0,
         Any(),
         {"UDP Packet ID:13330  10.0.0.2:16384 > 10.0.0.1:0 Size: 28b TTL: 128", kSeparator}},
        {"ihl 15, 61 bytes",
         ihl15At61,
         Any(),
         {"TCP Packet ID:13330  10.0.0.2:256 > 10.0.0.1:0 Size: 61b TTL: 128 FLAGS: ", kSeparator}},
        {"ihl 15, 60 bytes",
         ihl15At60,
         Any(),
         {"Errorneous TCP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128", kSeparator}},
        {"tcp of 21 bytes: what lies past the packet reads 0",
         bytes21,
         Any(),
         {"TCP Packet ID:13330  10.0.0.2:1280 > 10.0.0.1:0 Size: 21b TTL: 128 FLAGS: ",
          kSeparator}},
    });
}

TEST(DecodePacket, ProtocolFilterPassesOnlyItsCase) {
    const std::vector<uint8_t> protocols = {1, 2, 6, 17, 47};
    const struct {
        const char* filter;
        std::vector<uint8_t> passing;
    } cases[] = {{"ANY", {1, 2, 6, 17, 47}},
                 {"TCP", {6}},
                 {"UDP", {17}},
                 {"ICMP", {1}},
                 {"IGMP", {2}},
                 {"tcp", {}},
                 {"", {}},
                 {"ANY ", {}}};
    for (const auto& c : cases)
        for (const uint8_t protocol : protocols) {
            const bool passes =
                std::find(c.passing.begin(), c.passing.end(), protocol) != c.passing.end();
            EXPECT_EQ(Decode(WithProtocol(protocol), With(c.filter)).size(), passes ? 2u : 0u)
                << c.filter << " on protocol " << int(protocol);
        }
}

TEST(DecodePacket, AddressFiltersCompareWholeTexts) {
    Packet from10 = Packet{.source = {10, 0, 0, 10}};
    const std::string from10Line =
        "TCP Packet ID:13330  10.0.0.10:1025 > 10.0.0.1:80 Size: 60b TTL: 128 FLAGS: SYN ";
    Check({
        {"source matches", Packet{}, With("ANY", "10.0.0.2"), {kTcpSyn, kSeparator}},
        {"source is no prefix match", from10, With("ANY", "10.0.0.1"), {}},
        {"source 10.0.0.10", from10, With("ANY", "10.0.0.10"), {from10Line, kSeparator}},
        {"trailing space", Packet{}, With("ANY", "10.0.0.2 "), {}},
        {"leading zero", Packet{}, With("ANY", "10.0.0.02"), {}},
        {"destination matches", Packet{}, With("ANY", "", "10.0.0.1"), {kTcpSyn, kSeparator}},
        {"destination differs", Packet{}, With("ANY", "", "10.0.0.2"), {}},
        {"both match", Packet{}, With("ANY", "10.0.0.2", "10.0.0.1"), {kTcpSyn, kSeparator}},
        {"source matches, destination not", Packet{}, With("ANY", "10.0.0.2", "10.0.0.3"), {}},
        {"applies to icmp too", WithProtocol(1), With("ANY", "10.0.0.3"), {}},
        {"applies to errorneous lines", Packet{.size = 20}, With("ANY", "", "1.1.1.1"), {}},
    });
}

TEST(DecodePacket, PortFiltersApplyToDecodedTcpOnly) {
    const std::string errorneous =
        "Errorneous TCP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 20b TTL: 128";
    Check({
        {"source port matches", Packet{}, With("ANY", "", "", 1025), {kTcpSyn, kSeparator}},
        {"source port differs", Packet{}, With("ANY", "", "", 1026), {}},
        {"destination port matches", Packet{}, With("TCP", "", "", 0, 80), {kTcpSyn, kSeparator}},
        {"destination port differs", Packet{}, With("TCP", "", "", 0, 81), {}},
        {"both match",
         Packet{},
         With("TCP", "10.0.0.2", "10.0.0.1", 1025, 80),
         {kTcpSyn, kSeparator}},
        {"source port 70000", Packet{}, With("ANY", "", "", 70000), {}},
        {"source port 70000, errorneous",
         Packet{.size = 20},
         With("ANY", "", "", 70000),
         {errorneous, kSeparator}},
        {"source port 70000, udp",
         WithProtocol(17),
         With("ANY", "", "", 70000, 9),
         {kUdp, kSeparator}},
        {"negative port", Packet{}, With("ANY", "", "", -1), {}},
    });
}

TEST(DecodePacket, DumpsAfterTheLinesOnlyWhatItDecodesInFull) {
    const std::string other = "PROTO ID (Check RFC790 for proto description):47 Packet ID:13330  "
                              "10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128";
    const CaptureSettings dump = With("ANY", "", "", 0, 0, 1);
    Check({
        {"tcp",
         Packet{},
         dump,
         {kTcpSyn, kSeparator, "dump TCP 10.0.0.2:1025 > 10.0.0.1:80 n=60 first=69"}},
        {"udp",
         WithProtocol(17),
         dump,
         {kUdp, kSeparator, "dump UDP 10.0.0.2:1025 > 10.0.0.1:80 n=60 first=69"}},
        {"protocol 47",
         WithProtocol(47),
         dump,
         {other, kSeparator,
          "dump Unknown to this software 10.0.0.2:0 > 10.0.0.1:0 n=60 first=69"}},
        {"protocol 47 under TCP", WithProtocol(47), With("TCP", "", "", 0, 0, 1), {}},
        {"icmp never",
         WithProtocol(1),
         dump,
         {"ICMP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 60b TTL: 128", kSeparator}},
        {"errorneous never",
         Packet{.size = 20},
         dump,
         {"Errorneous TCP Packet ID:13330  10.0.0.2 > 10.0.0.1 Size: 20b TTL: 128", kSeparator}},
        {"filtered out", Packet{}, With("ANY", "", "", 9, 0, 1), {}},
        {"switch other than 1", Packet{}, With("ANY", "", "", 0, 0, 2), {kTcpSyn, kSeparator}},
    });
}
