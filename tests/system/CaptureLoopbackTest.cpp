// Captures on the real kernel: a private network namespace of this test
// process, whose only interface is its own loopback, so nothing of the
// machine's traffic is seen and nothing leaves the namespace.

#include "support/SnifferWindow.h"
#include "support/Sockets.h"

#include <QPushButton>
#include <gtest/gtest.h>
#include <netinet/ip_icmp.h>
#include <regex>
#include <sched.h>

namespace {

// Enters a fresh network namespace and brings its loopback up; false when
// the process may not (it needs CAP_SYS_ADMIN) or has no ip command.
bool EnterPrivateNetwork() {
    return unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") == 0;
}

// A datagram from 127.0.0.1:40001 to port 40002 of to.
void SendUdp(const char* to, const std::string& data) {
    const Fd fd = Open(AF_INET, SOCK_DGRAM, "127.0.0.1", 40001);
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

void Ping() {
    const Fd fd(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    icmphdr echo{};
    echo.type = ICMP_ECHO;
    echo.un.echo.id = htons(7);
    echo.checksum = htons(static_cast<uint16_t>(~(ICMP_ECHO << 8) - 7));
    const sockaddr_in6 destination = Address(AF_INET, "127.0.0.1", 0);
    ASSERT_EQ(sendto(fd.fd, &echo, sizeof echo, 0, Raw(destination), sizeof destination),
              static_cast<ssize_t>(sizeof echo));
}

// The identification of a packet is the kernel's choice; the rest is fixed.
Lines WithoutIds(const Lines& lines) {
    static const std::regex id("Packet ID:[0-9]+ ");
    Lines result;
    for (const std::string& line : lines)
        result.push_back(std::regex_replace(line, id, "Packet ID:* "));
    return result;
}

const std::string kUdp = "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.1:40002 Size: 33b TTL: 64";
const std::string kUdpToSecond =
    "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.2:40002 Size: 33b TTL: 64";
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

class CaptureLoopbackTest : public ::testing::Test {
  public:
    void SetUp() override {
        if (!EnterPrivateNetwork())
            GTEST_SKIP() << "needs CAP_SYS_ADMIN and ip for a private network namespace";
        if (!platform::SystemSnifferPlatform().capture.OpenRawSocket())
            GTEST_SKIP() << "capturing needs CAP_NET_RAW";
        // A receiver, so datagrams draw no "port unreachable" reply.
        receiver = std::make_unique<Fd>(Open(AF_INET, SOCK_DGRAM, "0.0.0.0", 40002));
    }

    std::unique_ptr<Fd> receiver;
    SnifferWindow window{&platform::SystemSnifferPlatform().capture};
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
        SCOPED_TRACE(testing::Message() << c.protocol << " " << c.sourceIp << " " << c.destinationIp
                                        << " " << c.sourcePort << " " << c.destinationPort);
        window.protobox()->setCurrentText(c.protocol);
        window.edit("Edit5")->setText(c.sourceIp);
        window.edit("Edit4")->setText(c.destinationIp);
        window.edit("Edit3")->setText(c.sourcePort);
        window.edit("Edit1")->setText(c.destinationPort);
        const size_t first = window.log()->lineCount();
        window.Start();
        EXPECT_TRUE(window.WaitForLines(first + 3));
        Ping();
        TalkTcp();
        SendUdp("127.0.0.1", "hello");
        SendUdp("127.0.0.2", "hello");
        // Delayed acknowledgements come within 40 ms or so; wait until none is due.
        for (size_t seen = 0; seen != window.log()->lineCount();) {
            seen = window.log()->lineCount();
            WaitUntil([] { return false; }, 300);
        }
        window.form.findChild<QPushButton*>("Button2")->click();
        SendUdp("127.0.0.1", "end");
        ASSERT_TRUE(window.WaitForIdle());

        // The order of the packets is the kernel's; compare as sets.
        Lines expected = kSetUpLines + Lines{kStopLine, "Sniffer stoped."};
        for (const std::string& packet : c.lines)
            expected.insert(expected.end(), {packet, kSeparator});
        if (c.endShown)
            expected.insert(expected.end(), {kEnd, kSeparator});
        const Lines all = window.lines();
        ASSERT_EQ(all.size(), first + expected.size()) << "the log keeps every earlier line";
        Lines lines = WithoutIds({all.begin() + static_cast<long>(first), all.end()});
        std::sort(lines.begin(), lines.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lines, expected);
    }
}

// 999.999.999.999 passes the panel's check; no interface holds it.
TEST_F(CaptureLoopbackTest, AnAddressOfNoInterfaceFailsAtBind) {
    window.Start("999.999.999.999");
    ASSERT_TRUE(window.WaitForIdle());
    EXPECT_EQ(window.lines(), (Lines{"Starting sniffer...", "Winsock version confirmed ...",
                                     "Failed setup sniffer on local ip, Is it a valid ip ?"}));
}
