// Captures on the real kernel: a private network namespace of this test
// process, whose only interface is its own loopback, and for a real
// interface a veth pair to a second private namespace it makes, so nothing
// of the machine's traffic is seen and nothing leaves those namespaces.
// With QUILLMARK_TEST_WITHOUT_CAPABILITY set, the process enters its
// namespace and then gives up root and every capability, as a member of the
// capture group runs the program: the socket comes from the capture helper.

#include "platform/LinuxCaptureApi.h"
#include "sniffer/PcapSave.h"
#include "support/CaptureHelpers.h"
#include "support/SnifferWindow.h"
#include "support/Sockets.h"

#include <QPushButton>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <memory>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip_icmp.h>
#include <regex>
#include <sched.h>
#include <signal.h>

namespace {

// Set for the unprivileged run of a capture, which stays in the private
// namespace its parent made.
constexpr const char* kInheritedNetwork = "QUILLMARK_INHERITED_NETWORK";

// Enters a fresh network namespace and brings its loopback up; false when
// the process may not (it needs CAP_SYS_ADMIN) or has no ip command.
bool EnterPrivateNetwork() {
    if (std::getenv(kInheritedNetwork))
        return true;
    return unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") == 0;
}

// Gives uid 65534 a cache directory of its own, where the log is kept.
bool GiveCacheToNobody() {
    static const TempDirectory cache;
    return chown(cache.path().c_str(), 65534, 65534) == 0 &&
           setenv("XDG_CACHE_HOME", cache.path().c_str(), 1) == 0;
}

// Becomes uid and gid 65534 in a private network where that user may ping,
// with the helpers ready; so for the whole process, once.
const CaptureHelpers* WithoutCapability() {
    static const CaptureHelpers helpers;
    static const bool dropped =
        helpers.settable && EnterPrivateNetwork() &&
        std::system("sysctl -qw net.ipv4.ping_group_range='65534 65534'") == 0 &&
        chown(helpers.path().c_str(), 65534, 65534) == 0 && GiveCacheToNobody() &&
        setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
        setresuid(65534, 65534, 65534) == 0;
    return dropped ? &helpers : nullptr;
}

const bool kWithoutCapability = std::getenv("QUILLMARK_TEST_WITHOUT_CAPABILITY") != nullptr;

// A datagram from port 40001 of from to port 40002 of to.
void SendUdp(const char* to, const std::string& data, const char* from = "127.0.0.1") {
    const Fd fd = Open(AF_INET, SOCK_DGRAM, from, 40001);
    const sockaddr_in6 destination = Address(AF_INET, to, 40002);
    ASSERT_EQ(sendto(fd.fd, data.data(), data.size(), 0, Raw(destination), sizeof destination),
              static_cast<ssize_t>(data.size()));
}

// A connection from port 40011 to 40010 that carries one request.
void TalkTcp() {
    const Fd server = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 40010);
    const Fd client = Connect(AF_INET, "127.0.0.1", 40010, 40011);
    const Fd accepted(accept4(server.fd, nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_EQ(send(client.fd, "GET /\r\n\r\n", 9, 0), 9);
    char received[9];
    ASSERT_EQ(recv(accepted.fd, received, sizeof received, MSG_WAITALL), 9);
}

// A raw socket needs CAP_NET_RAW; an ICMP datagram socket, a group that
// may ping.
void Ping(const char* to = "127.0.0.1") {
    const Fd fd(kWithoutCapability ? socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP)
                                   : socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    icmphdr echo{};
    echo.type = ICMP_ECHO;
    echo.un.echo.id = htons(7);
    echo.checksum = htons(static_cast<uint16_t>(~(ICMP_ECHO << 8) - 7));
    const sockaddr_in6 destination = Address(AF_INET, to, 0);
    ASSERT_EQ(sendto(fd.fd, &echo, sizeof echo, 0, Raw(destination), sizeof destination),
              static_cast<ssize_t>(sizeof echo));
}

// A frame of the IPv4 type with no bytes, which ends no capture; sending it
// needs CAP_NET_RAW.
void SendEmptyIpv4Frame() {
    const Fd fd(socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_IP);
    to.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
    ASSERT_EQ(kWithoutCapability
                  ? 0
                  : sendto(fd.fd, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              0);
}

// The identification of a packet is the kernel's choice; the rest is fixed.
Lines WithoutIds(const Lines& lines) {
    static const std::regex id("Packet ID:[0-9]+ ");
    Lines result;
    for (const std::string& line : lines)
        result.push_back(std::regex_replace(line, id, "Packet ID:* "));
    return result;
}

// The packet lines of a log without the TCP flags, which tcpdump's summary
// below leaves out.
Lines LoggedPackets(const Lines& log) {
    static const std::regex flags(" FLAGS:.*");
    Lines packets;
    for (const std::string& line : log)
        if (line.find(" Packet ID:") != std::string::npos)
            packets.push_back(std::regex_replace(line, flags, ""));
    return packets;
}

// A packet as tcpdump -v reads it; the log shows the identification
// byte-swapped.
const std::regex kTcpdumpPacket(
    "([0-9]+)\\.[0-9]+ IP \\(tos [^,]+, ttl ([0-9]+), id ([0-9]+), [^)]+ proto ([A-Z]+) [^,]+, "
    "length ([0-9]+)\\)\n +([0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+)(\\.[0-9]+)? > "
    "([0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+)(\\.[0-9]+)?:");

// The packets of a pcap file as tcpdump reads them, as the log's lines
// without flags, each captured within [from, to] (seconds since the epoch).
Lines SavedPackets(const std::string& path, time_t from, time_t to) {
    FILE* reader = popen(("tcpdump -nn -v -tt -r " + path + " 2>/dev/null").c_str(), "r");
    std::string text;
    for (int c; reader && (c = std::fgetc(reader)) != EOF;)
        text += static_cast<char>(c);
    EXPECT_EQ(reader ? pclose(reader) : -1, 0) << "tcpdump -r " << path;
    Lines packets;
    const auto port = [](const std::string& dotted) {
        return dotted.empty() ? "" : ":" + dotted.substr(1);
    };
    for (std::sregex_iterator m(text.begin(), text.end(), kTcpdumpPacket), end; m != end; ++m) {
        EXPECT_GE(std::stol(m->str(1)), from);
        EXPECT_LE(std::stol(m->str(1)), to);
        const unsigned id = std::stoul(m->str(3));
        packets.push_back(m->str(4) + " Packet ID:" + std::to_string((id & 0xFF) << 8 | id >> 8) +
                          "  " + m->str(6) + port(m->str(7)) + " > " + m->str(8) + port(m->str(9)) +
                          " Size: " + m->str(5) + "b TTL: " + m->str(2));
    }
    return packets;
}

const std::string kUdp = "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.1:40002 Size: 33b TTL: 64";
// Close to the longest packet a receive takes, received whole.
const std::string kUdpToSecond =
    "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.2:40002 Size: 65518b TTL: 64";
const std::string kEnd = "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.1:40002 Size: 31b TTL: 64";
const std::string kIcmp = "ICMP Packet ID:*  127.0.0.1 > 127.0.0.1 Size: 28b TTL: 64";
// The client's packets, then the server's.
const Lines kClient = {
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 60b TTL: 64 FLAGS: SYN ",
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 52b TTL: 64 FLAGS: ACK ",
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 61b TTL: 64 FLAGS: ACK PSH ",
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 52b TTL: 64 FLAGS: ACK FIN "};
const Lines kServer = {
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 60b TTL: 64 FLAGS: ACK SYN ",
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 52b TTL: 64 FLAGS: ACK ",
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 52b TTL: 64 FLAGS: ACK FIN ",
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 52b TTL: 64 FLAGS: ACK "};

// Delayed acknowledgements come within 40 ms or so; waits until none is due.
void WaitForQuiet(SnifferWindow& window) {
    for (size_t seen = 0; seen != window.log()->lineCount();) {
        seen = window.log()->lineCount();
        WaitUntil([] { return false; }, 300);
    }
}

// The log of one capture, identifications aside, holds the set-up, Stop and
// end lines and each of packets once, in the kernel's order.
void ExpectCaptured(const Lines& log, const Lines& packets) {
    Lines expected = kSetUpLines + Lines{kStopLine, "Sniffer stoped."};
    for (const std::string& packet : packets)
        expected.insert(expected.end(), {packet, kSeparator});
    Lines lines = WithoutIds(log);
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

// The second namespace, held by a process that sleeps in it, at the far end
// of a veth pair: vethA 192.0.2.1 here, vethB 192.0.2.2 there, where a socket
// on port 40002 can answer.
struct PeerNamespace {
    PeerNamespace() {
        FILE* shell = popen(
            "unshare --net sleep 60 >/dev/null & peer=$!; echo $peer; "
            "while [ $(readlink /proc/$peer/ns/net) = $(readlink /proc/$$/ns/net) ]; do :; done; "
            "ip link add vethA type veth peer name vethB netns $peer && "
            "ip addr add 192.0.2.1/24 dev vethA && ip link set vethA up && nsenter -t $peer -n "
            "sh -c 'ip addr add 192.0.2.2/24 dev vethB && ip link set vethB up' && echo up",
            "r");
        char status[3] = {};
        up = fscanf(shell, "%d %2s", &holder, status) == 2 && status == std::string("up");
        pclose(shell);
        const Fd here(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
        const Fd there(open(("/proc/" + std::to_string(holder) + "/ns/net").c_str(), O_RDONLY));
        if (up && setns(there.fd, CLONE_NEWNET) == 0) {
            answerer = std::make_unique<Fd>(Open(AF_INET, SOCK_DGRAM, "192.0.2.2", 40002));
            up = setns(here.fd, CLONE_NEWNET) == 0;
        }
    }
    ~PeerNamespace() {
        if (holder > 0) // never 0: that would be this process group
            kill(holder, SIGKILL);
    }

    // A datagram there and its echo back, to and from 192.0.2.1:40001.
    void ExchangeUdp() {
        const Fd here = Open(AF_INET, SOCK_DGRAM, "192.0.2.1", 40001);
        const sockaddr_in6 peer = Address(AF_INET, "192.0.2.2", 40002);
        const sockaddr_in6 back = Address(AF_INET, "192.0.2.1", 40001);
        char data[5];
        ASSERT_EQ(sendto(here.fd, "hello", 5, 0, Raw(peer), sizeof peer), 5);
        ASSERT_EQ(recv(answerer->fd, data, 5, 0), 5);
        ASSERT_EQ(sendto(answerer->fd, data, 5, 0, Raw(back), sizeof back), 5);
        ASSERT_EQ(recv(here.fd, data, 5, 0), 5);
    }

    pid_t holder = 0;
    bool up = false;
    std::unique_ptr<Fd> answerer;
};

class CaptureLoopbackTest : public ::testing::Test {
  public:
    void SetUp() override {
        if (kWithoutCapability ? !WithoutCapability() : !EnterPrivateNetwork())
            GTEST_SKIP() << "needs CAP_SYS_ADMIN and ip for a private network namespace; "
                            "without the capability also root, setcap and extended attributes";
        if (!capture.OpenRawSocket())
            GTEST_SKIP() << "capturing needs CAP_NET_RAW";
        // A receiver, so datagrams draw no "port unreachable" reply.
        receiver = std::make_unique<Fd>(Open(AF_INET, SOCK_DGRAM, "0.0.0.0", 40002));
    }

    std::unique_ptr<Fd> receiver;
    platform::LinuxCaptureApi capture{kWithoutCapability && WithoutCapability()
                                          ? WithoutCapability()->capable
                                          : QUILLMARK_CAPTURE_HELPER};
    SnifferWindow window{&capture};
};

} // namespace

// Each packet once, with its exact summary line; only what the filters pass.
// Each capture ends after the packet that follows Stop. (Stop's line, the
// dump and a second Start are the fake capture's.)
TEST_F(CaptureLoopbackTest, ShowsEachPacketOnceAndOnlyWhatTheFiltersPass) {
    const struct {
        const char* protocol;
        const char* sourceIp;
        const char* destinationIp;
        const char* sourcePort;
        const char* destinationPort;
        Lines lines;
        bool endShown;
    } cases[] = {
        {"ANY", "", "", "", "", Lines{kUdp, kUdpToSecond, kIcmp, kIcmp} + kClient + kServer, true},
        {"UDP", "", "", "", "", {kUdp, kUdpToSecond}, true},
        {"ANY", "", "127.0.0.2", "", "", {kUdpToSecond}, false},
        {"TCP", "", "", "40011", "", kClient, false},
        {"TCP", "127.0.0.1", "", "", "40011", kServer, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        window.protobox()->setCurrentText(c.protocol);
        window.edit("Edit5")->setText(c.sourceIp);
        window.edit("Edit4")->setText(c.destinationIp);
        window.edit("Edit3")->setText(c.sourcePort);
        window.edit("Edit1")->setText(c.destinationPort);
        const size_t first = window.log()->lineCount();
        const time_t started = std::time(nullptr);
        window.Start();
        EXPECT_TRUE(window.WaitForLines(first + 3));
        SendEmptyIpv4Frame();
        Ping();
        TalkTcp();
        SendUdp("127.0.0.1", "hello");
        SendUdp("127.0.0.2", std::string(65490, 'x'));
        WaitForQuiet(window);
        window.form.findChild<QPushButton*>("Button2")->click();
        SendUdp("127.0.0.1", "end");
        ASSERT_TRUE(window.WaitForIdle());
        const Lines all = window.lines();
        ASSERT_GE(all.size(), first);
        const Lines log(all.begin() + static_cast<long>(first), all.end());
        ExpectCaptured(log, c.endShown ? c.lines + Lines{kEnd} : c.lines);

        // The capture saved as pcap (the file dialog is the panel test's):
        // tcpdump reads each packet the log shows.
        Lines logged = LoggedPackets(log);
        const std::string saved =
            (window.files.directory_.path() / ("saved" + std::to_string(&c - cases) + ".pcap"))
                .string();
        ASSERT_EQ(
            WritePcapFile(QString::fromStdString(saved), window.log()->packetStore()->Latest()),
            "");
        Lines read = SavedPackets(saved, started, std::time(nullptr));
        std::sort(logged.begin(), logged.end());
        std::sort(read.begin(), read.end());
        EXPECT_EQ(read, logged);
    }
}

// A datagram too long to keep whole is saved with the length it had on the
// wire, 65,535 bytes, of which the first 65,525 are kept.
TEST_F(CaptureLoopbackTest, SavesTheWireLengthOfAPacketTooLongToKeepWhole) {
    window.Start();
    ASSERT_TRUE(window.WaitForLines(3));
    SendUdp("127.0.0.1", std::string(65507, 'x'));
    window.form.Button2Click();
    SendUdp("127.0.0.1", "end");
    ASSERT_TRUE(window.WaitForIdle());
    const std::string saved = (window.files.directory_.path() / "long.pcap").string();
    ASSERT_EQ(WritePcapFile(QString::fromStdString(saved), window.log()->packetStore()->Latest()),
              "");
    std::ifstream file(saved, std::ios::binary);
    file.seekg(kPcapFileHeaderBytes + 8);
    uint32_t lengths[2] = {}; // captured, on the wire
    file.read(reinterpret_cast<char*>(lengths), sizeof lengths);
    EXPECT_EQ(std::vector<uint32_t>(lengths, lengths + 2), (std::vector<uint32_t>{65525, 65535}));
}

// A failed set-up step ends the capture with its line: 999.999.999.999
// passes the panel's check and no interface holds it; without the
// capability, a helper that lacks it too opens nothing (root needs none).
TEST_F(CaptureLoopbackTest, AFailedSetUpStepEndsTheCaptureWithItsLine) {
    platform::LinuxCaptureApi plain(kWithoutCapability ? WithoutCapability()->plain : "");
    const std::tuple<platform::CaptureApi*, const char*, const char*> cases[] = {
        {&capture, "999.999.999.999", "Failed setup sniffer on local ip, Is it a valid ip ?"},
        {&plain, "127.0.0.1", "Failed to create Raw socket for sniffing.BytesReturned.."}};
    for (const auto& [api, address, failure] : cases) {
        if (api == &plain && !kWithoutCapability)
            continue;
        SnifferWindow failing{api};
        failing.Start(address);
        ASSERT_TRUE(failing.WaitForIdle());
        EXPECT_EQ(failing.lines(),
                  (Lines{"Starting sniffer...", "Winsock version confirmed ...", failure}));
    }
}

// On an interface other than loopback, what this host sends and what it
// receives both show, each packet once; the ARP and IPv6 frames of the new
// link never reach the decoder.
TEST_F(CaptureLoopbackTest, OnAVethBothDirectionsShowOnceAndOnlyIpv4) {
    PeerNamespace peer;
    if (!peer.up)
        GTEST_SKIP() << "needs veth and a second network namespace";
    window.Start("192.0.2.1");
    EXPECT_TRUE(window.WaitForLines(3));
    Ping("192.0.2.2");
    peer.ExchangeUdp();
    WaitForQuiet(window);
    window.form.Button2Click();
    SendUdp("192.0.2.2", "end", "192.0.2.1");
    ASSERT_TRUE(window.WaitForIdle());
    ExpectCaptured(window.lines(),
                   {"ICMP Packet ID:*  192.0.2.1 > 192.0.2.2 Size: 28b TTL: 64",
                    "ICMP Packet ID:*  192.0.2.2 > 192.0.2.1 Size: 28b TTL: 64",
                    "UDP Packet ID:*  192.0.2.1:40001 > 192.0.2.2:40002 Size: 33b TTL: 64",
                    "UDP Packet ID:*  192.0.2.2:40002 > 192.0.2.1:40001 Size: 33b TTL: 64",
                    "UDP Packet ID:*  192.0.2.1:40001 > 192.0.2.2:40002 Size: 31b TTL: 64"});
}

// A user who is not root and holds CAP_NET_RAW alone, as the capture group's
// members do, captures as root does: the table above passes, ring and all.
TEST_F(CaptureLoopbackTest, CapturesWithCapNetRawAlone) {
    if (std::getenv(kInheritedNetwork))
        GTEST_SKIP() << "this is the unprivileged run";
    ASSERT_TRUE(GiveCacheToNobody());
    const std::string command = std::string(kInheritedNetwork) +
                                "=1 setpriv --reuid=65534 --regid=65534 --clear-groups "
                                "--inh-caps=-all,+net_raw --ambient-caps=+net_raw " +
                                std::filesystem::read_symlink("/proc/self/exe").string() +
                                " --gtest_filter=CaptureLoopbackTest.ShowsEach* 2>&1";
    FILE* run = popen(command.c_str(), "r");
    std::string output;
    for (char chunk[4096]; const size_t n = fread(chunk, 1, sizeof chunk, run);)
        output.append(chunk, n);
    EXPECT_EQ(pclose(run), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}
