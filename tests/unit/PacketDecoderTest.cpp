// DecodePacket over crafted packets: every summary line kind, every filter
// and every dump decision, with the expected lines written out in full. The
// kernel filter built from the same settings must pass exactly the packets
// that give a line, whole.

#include "sniffer/PacketDecoder.h"

#include "sniffer/CaptureFilter.h"
#include "support/SocketFilter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

const std::string kSeparator = "-------------------------------------------------";

// The lines the decoder posts, and its dump calls as "dump <protocol>
// <source>:<port> > <destination>:<port> <n>b", each of the whole packet.
struct RecordingOutput : PacketOutput {
    Calls calls;
    const uint8_t* packet = nullptr;
    void PostLine(const char* text) override { calls.emplace_back(text); }
    void WriteDumpRecord(const uint8_t* bytes, int n, std::string_view sourceIp,
                         std::string_view destinationIp, int sourcePort, int destinationPort,
                         std::string_view protocol) override {
        EXPECT_EQ(bytes, packet);
        calls.push_back("dump " + std::string(protocol) + " " + std::string(sourceIp) + ":" +
                        std::to_string(sourcePort) + " > " + std::string(destinationIp) + ":" +
                        std::to_string(destinationPort) + " " + std::to_string(n) + "b");
    }
};

// A TCP header: ports 1025 > 80, data offset 5, then the flags.
std::vector<uint8_t> Tcp(uint8_t flags = 0x02) {
    return {0x04, 0x01, 0x00, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, flags};
}

// The size received bytes of an IPv4 packet from 10.0.0.<from> to 10.0.0.1,
// TTL 128, with identification bytes 12 34, which read as 13330 (the first
// byte is the low-order one), and the transport header at 4 * IHL.
struct Packet {
    uint8_t protocol = 6;
    size_t size = 60;
    uint8_t versionIhl = 0x45;
    uint8_t from = 2;
    std::vector<uint8_t> transport = Tcp();

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes(80, 0);
        const uint8_t header[] = {versionIhl, 0, 0,  0, 0x12, 0x34, 0,  0, 128, protocol,
                                  0,          0, 10, 0, 0,    from, 10, 0, 0,   1};
        std::copy(std::begin(header), std::end(header), bytes.begin());
        std::copy(transport.begin(), transport.end(), bytes.begin() + 4 * (versionIhl & 0x0F));
        bytes.resize(size); // nothing past the received bytes exists
        return bytes;
    }
};

CaptureSettings With(std::string protocol, std::string source = "", std::string destination = "",
                     int32_t sourcePort = 0, int32_t destinationPort = 0) {
    return {protocol, destination, source, "127.0.0.1", destinationPort, sourcePort};
}

// The line of a packet from 10.0.0.2 to 10.0.0.1 of a kind and size, with
// the ends written between its ID and its size.
std::string Line(const std::string& kind, int size,
                 const std::string& ends = "10.0.0.2 > 10.0.0.1") {
    return kind + " Packet ID:13330  " + ends + " Size: " + std::to_string(size) + "b TTL: 128";
}

const CaptureSettings kAny = With("ANY");
const std::string kPorts = "10.0.0.2:1025 > 10.0.0.1:80", kNoPorts = "10.0.0.2:0 > 10.0.0.1:0";
const std::string kTcp = Line("TCP", 60, kPorts) + " FLAGS: ", kTcpSyn = kTcp + "SYN ",
                  kUdp = Line("UDP", 60, kPorts);
const std::string kTcpDump = "dump TCP " + kPorts + " 60b",
                  kUdpDump = "dump UDP " + kPorts + " 60b";
const std::string kOther = Line("PROTO ID (Check RFC790 for proto description):47", 60);
// A TCP packet of 21 bytes, whose ports read from its one byte and zeros.
const std::string kShortTcp = Line("TCP", 21, "10.0.0.2:1280 > 10.0.0.1:0") + " FLAGS: ";
const std::string kShortTcpDump = "dump TCP 10.0.0.2:1280 > 10.0.0.1:0 21b";

} // namespace

// Each packet gives its line and the separator, or nothing (""); then, with
// DumpEnabled 1 and no other value, its dump call if it has one.
TEST(DecodePacket, BuildsEachLineKindAppliesEachFilterAndDumps) {
    const struct {
        Packet packet;
        CaptureSettings settings;
        std::string line;
        std::string dump = {}; // with DumpEnabled 1
    } cases[] = {
        // Each kind of line.
        {{}, kAny, kTcpSyn, kTcpDump},
        {{.protocol = 17}, kAny, kUdp, kUdpDump},
        {{.protocol = 1}, kAny, Line("ICMP", 60)},
        {{.protocol = 2}, With("IGMP"), Line("IGMP", 60)},
        {{.protocol = 47}, kAny, kOther, "dump Unknown to this software " + kNoPorts + " 60b"},
        {{.protocol = 47}, With("TCP"), ""},
        {{.size = 20}, kAny, Line("Errorneous TCP", 20)},
        {{.protocol = 17, .size = 20}, kAny, Line("Errorneous UDP", 20)},
        // 21 bytes: what lies past the packet reads 0.
        {{.size = 21, .transport = {0x05}}, kAny, kShortTcp, kShortTcpDump},
        // IHL 0: the ports are the first four bytes of the IP header itself.
        {{.protocol = 17, .size = 28, .versionIhl = 0x40, .transport = {}},
         kAny,
         Line("UDP", 28, "10.0.0.2:16384 > 10.0.0.1:0"),
         "dump UDP 10.0.0.2:16384 > 10.0.0.1:0 28b"},
        // IHL 15, with 61 and 60 bytes.
        {{.size = 61, .versionIhl = 0x4F, .transport = {0x01}},
         kAny,
         Line("TCP", 61, "10.0.0.2:256 > 10.0.0.1:0") + " FLAGS: ",
         "dump TCP 10.0.0.2:256 > 10.0.0.1:0 61b"},
        {{.versionIhl = 0x4F}, kAny, Line("Errorneous TCP", 60)},
        // The flags in their order, each with its space; the two top bits have no
        // name.
        {{.transport = Tcp(0xFF)}, kAny, kTcp + "URG ACK PSH RST SYN FIN ", kTcpDump},
        // The protocol filter passes its own case, or any under "ANY".
        {{.protocol = 17}, With("TCP"), ""},
        {{.protocol = 17}, With("UDP"), kUdp, kUdpDump},
        {{.protocol = 1}, With("ICMP"), Line("ICMP", 60)},
        {{}, With("ANY "), ""},
        // Address filters compare whole texts, on every kind of line.
        {{}, With("ANY", "10.0.0.2"), kTcpSyn, kTcpDump},
        {{.from = 10}, With("ANY", "10.0.0.1"), ""},
        {{}, With("ANY", "10.0.0.2 "), ""},
        {{}, With("ANY", "", "10.0.0.2"), ""},
        {{.protocol = 1}, With("ANY", "10.0.0.3"), ""},
        {{}, With("ANY", "", "10.0.0.01"), ""},
        {{}, With("ANY", "", "10.0.0.1"), kTcpSyn, kTcpDump},
        // Address bytes past the packet read 0, and so does its protocol.
        {{.size = 14},
         With("ANY", "10.0.0.0", "0.0.0.0"),
         Line("Errorneous TCP", 14, "10.0.0.0 > 0.0.0.0")},
        {{.size = 9},
         kAny,
         Line("PROTO ID (Check RFC790 for proto description):0", 9, "0.0.0.0 > 0.0.0.0"),
         "dump Unknown to this software 0.0.0.0:0 > 0.0.0.0:0 9b"},
        // Port filters, on decoded TCP only, wherever the header lies.
        {{}, With("ANY", "", "", 1026), ""},
        {{}, With("TCP", "", "", 0, 80), kTcpSyn, kTcpDump},
        {{}, With("TCP", "10.0.0.2", "10.0.0.1", 1025, 80), kTcpSyn, kTcpDump},
        {{}, With("ANY", "", "", 70000), ""},
        {{.size = 20}, With("ANY", "", "", 70000), Line("Errorneous TCP", 20)},
        {{.protocol = 17}, With("ANY", "", "", 70000, 9), kUdp, kUdpDump},
        {{.size = 21, .transport = {0x05}}, With("TCP", "", "", 1280), kShortTcp, kShortTcpDump},
        {{.size = 21, .transport = {0x05}}, With("TCP", "", "", 0, 1), ""},
        {{.size = 28, .versionIhl = 0x40, .transport = {}},
         With("ANY", "", "", 16384),
         Line("TCP", 28, "10.0.0.2:16384 > 10.0.0.1:0") + " FLAGS: ",
         "dump TCP 10.0.0.2:16384 > 10.0.0.1:0 28b"},
        {{.size = 61, .versionIhl = 0x4F, .transport = {0x01}}, With("ANY", "", "", 257), ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::vector<uint8_t> bytes = cases[i].packet.Bytes();
        for (const int32_t dumpEnabled : {0, 1, 2}) {
            Calls expected = cases[i].line.empty() ? Calls{} : Calls{cases[i].line, kSeparator};
            if (dumpEnabled == 1 && !cases[i].dump.empty())
                expected.push_back(cases[i].dump);
            CaptureSettings settings = cases[i].settings;
            settings.DumpEnabled = dumpEnabled;
            RecordingOutput output;
            output.packet = bytes.data();
            DecodePacket(bytes.data(), static_cast<int>(bytes.size()), settings, output);
            EXPECT_EQ(output.calls, expected) << "case " << i << ", DumpEnabled " << dumpEnabled;
        }
        EXPECT_EQ(ThroughSocketFilter(SettingsFilterProgram(cases[i].settings), bytes),
                  cases[i].line.empty() ? -1 : std::ssize(bytes))
            << "case " << i;
    }
}
