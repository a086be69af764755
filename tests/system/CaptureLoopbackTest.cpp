// Captures on the real kernel: a private network namespace of this test
// process, whose only interface is its own loopback, so nothing of the
// machine's traffic is seen and nothing leaves the namespace.

#include "support/SnifferFakes.h"
#include "support/SnifferWindow.h"

#include <arpa/inet.h>
#include <fstream>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <regex>
#include <sched.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string kSeparator = "-------------------------------------------------";

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

sockaddr_in Address(const char* ip, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, ip, &address.sin_addr);
    return address;
}

// Enters a fresh network namespace and brings its loopback up; false when
// the process may not (it needs CAP_SYS_ADMIN).
bool EnterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0)
        return false;
    const Fd control(socket(AF_INET, SOCK_DGRAM, 0));
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    request.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    return ioctl(control.get(), SIOCSIFFLAGS, &request) == 0;
}

void SendUdp(const char* to, const std::string& data, uint16_t fromPort = 40001,
             uint16_t toPort = 40002) {
    const Fd fd(socket(AF_INET, SOCK_DGRAM, 0));
    const sockaddr_in from = Address("127.0.0.1", fromPort);
    const sockaddr_in destination = Address(to, toPort);
    ASSERT_EQ(bind(fd.get(), reinterpret_cast<const sockaddr*>(&from), sizeof from), 0);
    ASSERT_EQ(sendto(fd.get(), data.data(), data.size(), 0,
                     reinterpret_cast<const sockaddr*>(&destination), sizeof destination),
              static_cast<ssize_t>(data.size()));
}

// A connection from port 40011 to 40010 that carries one request.
void TalkTcp() {
    const Fd server(socket(AF_INET, SOCK_STREAM, 0));
    const Fd client(socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in listening = Address("127.0.0.1", 40010);
    const sockaddr_in local = Address("127.0.0.1", 40011);
    const int one = 1;
    setsockopt(server.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(client.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ASSERT_EQ(bind(server.get(), reinterpret_cast<const sockaddr*>(&listening), sizeof listening),
              0);
    ASSERT_EQ(listen(server.get(), 1), 0);
    ASSERT_EQ(bind(client.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(
        connect(client.get(), reinterpret_cast<const sockaddr*>(&listening), sizeof listening), 0);
    const Fd accepted(accept(server.get(), nullptr, nullptr));
    ASSERT_EQ(send(client.get(), "GET /\r\n\r\n", 9, 0), 9);
    char received[9];
    ASSERT_EQ(recv(accepted.get(), received, sizeof received, MSG_WAITALL), 9);
}

void Ping() {
    const Fd fd(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    icmphdr echo{};
    echo.type = ICMP_ECHO;
    echo.un.echo.id = htons(7);
    echo.checksum = htons(static_cast<uint16_t>(~(ICMP_ECHO << 8) - 7));
    const sockaddr_in destination = Address("127.0.0.1", 0);
    ASSERT_EQ(sendto(fd.get(), &echo, sizeof echo, 0,
                     reinterpret_cast<const sockaddr*>(&destination), sizeof destination),
              static_cast<ssize_t>(sizeof echo));
}

// The identification of a packet is the kernel's choice; the rest is fixed.
std::vector<std::string> WithoutIds(const std::vector<std::string>& lines) {
    static const std::regex id("Packet ID:[0-9]+ ");
    std::vector<std::string> result;
    for (const std::string& line : lines)
        result.push_back(std::regex_replace(line, id, "Packet ID:* "));
    return result;
}

const std::string kStopLine =
    ">>>>> Kill signal sent to sniffer thread. Sniffer will die on next packet.";
const std::string kUdpLine = "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.1:40002 Size: 33b TTL: 64";
const std::string kToSecondLine =
    "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.2:40002 Size: 33b TTL: 64";
const std::string kEndLine = "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.1:40002 Size: 31b TTL: 64";

class CaptureLoopbackTest : public ::testing::Test {
  public:
    void SetUp() override {
        if (!EnterPrivateNetwork())
            GTEST_SKIP() << "needs CAP_SYS_ADMIN for a private network namespace";
        if (!platform::SystemSnifferPlatform().capture.OpenRawSocket())
            GTEST_SKIP() << "capturing needs CAP_NET_RAW";
        // A receiver, so datagrams draw no "port unreachable" reply.
        receiver = std::make_unique<Fd>(socket(AF_INET, SOCK_DGRAM, 0));
        const sockaddr_in any = Address("0.0.0.0", 40002);
        ASSERT_EQ(bind(receiver->get(), reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    }
    void TearDown() override {
        if (window.capturing())
            StopWithLastPacket();
    }

    void Start(const char* protocol = "ANY", const char* sourceIp = "",
               const char* destinationIp = "", const char* sourcePort = "",
               const char* destinationPort = "", bool dump = false) {
        window.edit("Edit2")->setText("127.0.0.1");
        window.protobox()->setCurrentText(protocol);
        window.edit("Edit5")->setText(sourceIp);
        window.edit("Edit4")->setText(destinationIp);
        window.edit("Edit3")->setText(sourcePort);
        window.edit("Edit1")->setText(destinationPort);
        window.dumpcheck()->setChecked(dump);
        const size_t before = window.log()->lineCount();
        window.form.Button1Click();
        ASSERT_TRUE(WaitUntil([&] { return window.log()->lineCount() >= before + 3; }));
        ASSERT_EQ(window.log()->line(before + 2), "Sniffer almost setup ...");
        firstLine = window.log()->lineCount();
    }
    // Once count lines have come since Start: Stop, then the datagram "end",
    // the packet the capture ends after.
    void StopWithLastPacket(size_t count = 0) {
        EXPECT_TRUE(WaitUntil([&] { return window.log()->lineCount() >= firstLine + count; }));
        // Delayed acknowledgements come within 40 ms or so; wait until none is due.
        for (size_t seen = 0; seen != window.log()->lineCount();) {
            seen = window.log()->lineCount();
            WaitUntil([] { return false; }, 300);
        }
        window.form.Button2Click();
        EXPECT_TRUE(window.capturing());
        SendUdp("127.0.0.1", "end");
        EXPECT_TRUE(window.WaitForIdle());
    }
    // Every line logged since Start, identifications left out.
    std::vector<std::string> Captured() {
        const std::vector<std::string> all = window.lines();
        return WithoutIds({all.begin() + static_cast<long>(firstLine), all.end()});
    }

    std::unique_ptr<Fd> receiver;
    TempExecutableFiles files;
    FixedClock clock;
    platform::SnifferPlatform sniffer{platform::SystemSnifferPlatform().capture, files, clock};
    SnifferWindow window{sniffer};
    size_t firstLine = 0;
};

} // namespace

TEST_F(CaptureLoopbackTest, ShowsUdpIcmpAndTcpPacketsEachOnce) {
    Start();
    SendUdp("127.0.0.1", "hello");
    Ping();
    TalkTcp();
    StopWithLastPacket(22);
    const std::vector<std::string> lines = Captured();
    const std::vector<std::string> expected = {
        kUdpLine,
        kSeparator,
        "ICMP Packet ID:*  127.0.0.1 > 127.0.0.1 Size: 28b TTL: 64",
        kSeparator,
        "ICMP Packet ID:*  127.0.0.1 > 127.0.0.1 Size: 28b TTL: 64",
        kSeparator,
        "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 60b TTL: 64 FLAGS: SYN ",
        kSeparator,
        "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 60b TTL: 64 FLAGS: ACK SYN ",
        kSeparator,
        "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 52b TTL: 64 FLAGS: ACK ",
        kSeparator,
        "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 61b TTL: 64 FLAGS: ACK PSH ",
        kSeparator,
    };
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(
        std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(expected.size())),
        expected);
    // Both ends close; the kernel decides how the acknowledgements pair up.
    for (const std::string fin :
         {"TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 52b TTL: 64 FLAGS: ACK FIN ",
          "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 52b TTL: 64 FLAGS: ACK FIN "})
        EXPECT_NE(std::find(lines.begin(), lines.end(), fin), lines.end()) << fin;
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{kStopLine, kEndLine, kSeparator, "Sniffer stoped."}));
}

TEST_F(CaptureLoopbackTest, FiltersHoldOnRealTraffic) {
    const std::string fromClient = "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: ";
    const std::string toClient = "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: ";
    const struct {
        const char* protocol;
        const char* sourceIp;
        const char* destinationIp;
        const char* sourcePort;
        const char* destinationPort;
        std::vector<std::string> lines;
        bool endShown;
    } cases[] = {
        {"UDP", "", "", "", "", {kUdpLine, kSeparator, kToSecondLine, kSeparator}, true},
        {"ANY", "", "127.0.0.2", "", "", {kToSecondLine, kSeparator}, false},
        {"ANY", "127.0.0.2", "", "", "", {}, false},
        {"TCP",
         "",
         "",
         "40011",
         "",
         {fromClient + "60b TTL: 64 FLAGS: SYN ", kSeparator,
          fromClient + "52b TTL: 64 FLAGS: ACK ", kSeparator,
          fromClient + "61b TTL: 64 FLAGS: ACK PSH ", kSeparator,
          fromClient + "52b TTL: 64 FLAGS: ACK FIN ", kSeparator},
         false},
        {"TCP",
         "127.0.0.1",
         "",
         "",
         "40011",
         {toClient + "60b TTL: 64 FLAGS: ACK SYN ", kSeparator,
          toClient + "52b TTL: 64 FLAGS: ACK ", kSeparator,
          toClient + "52b TTL: 64 FLAGS: ACK FIN ", kSeparator,
          toClient + "52b TTL: 64 FLAGS: ACK ", kSeparator},
         false},
    };
    for (const auto& c : cases) {
        Start(c.protocol, c.sourceIp, c.destinationIp, c.sourcePort, c.destinationPort);
        Ping();
        TalkTcp();
        SendUdp("127.0.0.1", "hello");
        SendUdp("127.0.0.2", "hello");
        StopWithLastPacket(c.lines.size());
        // The order of the closing packets is the kernel's; compare as sets.
        std::vector<std::string> lines = Captured();
        std::vector<std::string> expected = c.lines;
        expected.push_back(kStopLine);
        if (c.endShown)
            expected.insert(expected.end(), {kEndLine, kSeparator});
        expected.push_back("Sniffer stoped.");
        std::sort(lines.begin(), lines.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lines, expected) << c.protocol << " " << c.sourceIp << " " << c.destinationIp
                                   << " " << c.sourcePort << " " << c.destinationPort;
    }
}

TEST_F(CaptureLoopbackTest, DumpsPayloadsAndAppendsAcrossCaptures) {
    Start("UDP", "", "", "", "", true);
    SendUdp("127.0.0.1", "hi\r\n\r\n");
    StopWithLastPacket(2);
    const std::vector<std::string> first = window.lines();
    Start("UDP", "", "", "", "", true);
    StopWithLastPacket();
    const std::vector<std::string> all = window.lines();
    EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + static_cast<long>(first.size())),
              first);
    EXPECT_EQ(WithoutIds({all.begin() + static_cast<long>(first.size()), all.end()}),
              (std::vector<std::string>{"Starting sniffer...", "Winsock version confirmed ...",
                                        "Sniffer almost setup ...", kStopLine, kEndLine, kSeparator,
                                        "Sniffer stoped."}));

    // The second Start set the first capture's file aside.
    std::ifstream in(files.dumps() / "dump.log2149", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string dump = text.str();
    const std::string head = "-------------- 01/11/2026 14:03:07 ------------------- \r\n"
                             "Protocol: UDP\r\n"
                             "Source IP: 127.0.0.1:40001\r\n"
                             "Destination IP: 127.0.0.1:40002\r\n";
    ASSERT_EQ(dump.substr(0, head.size()), head);
    const std::string end = "hi\r\n\r\n\r\n----------------------------------------\r\n";
    const size_t second = dump.find(head, head.size());
    ASSERT_NE(second, std::string::npos) << dump;
    EXPECT_EQ(dump.substr(second - end.size(), end.size()), end);
    EXPECT_EQ(dump.substr(dump.size() - 47), "end\r\n----------------------------------------\r\n");
}
