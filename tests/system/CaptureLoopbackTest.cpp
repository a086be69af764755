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
#include "support/Child.h"
#include "support/SnifferWindow.h"
#include "support/Sockets.h"

#include <QFile>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <memory>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip_icmp.h>
#include <regex>
#include <set>

namespace {

// Becomes uid and gid 65534 in a private network, with the helpers ready
// and a cache directory of its own for the log; so for the whole process,
// once.
const CaptureHelpers* WithoutCapability() {
    static const CaptureHelpers helpers;
    static const TempDirectory cache;
    static const bool dropped = helpers.settable && EnterPrivateNetwork() &&
                                chown(helpers.path().c_str(), 65534, 65534) == 0 &&
                                chown(cache.path().c_str(), 65534, 65534) == 0 &&
                                setenv("XDG_CACHE_HOME", cache.path().c_str(), 1) == 0 &&
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

// A connection from port 40011 to 40010 that carries one request, then is
// reset by the server: every packet of it is sent before this returns, and
// no acknowledgement is left to be delayed.
void TalkTcp() {
    const Fd server = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 40010);
    const Fd client = Connect(AF_INET, "127.0.0.1", 40010, 40011);
    Fd accepted(accept4(server.fd, nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_EQ(send(client.fd, "GET /\r\n\r\n", 9, 0), 9);
    char received[9];
    ASSERT_EQ(recv(accepted.fd, received, sizeof received, MSG_WAITALL), 9);
    const linger reset{1, 0};
    ASSERT_EQ(setsockopt(accepted.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    accepted.Close();
}

// An echo request; the kernel fills in the identifier and checksum.
void Ping(const char* to = "127.0.0.1") {
    const Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
    const icmphdr echo{ICMP_ECHO, 0, 0, {}};
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
    ASSERT_TRUE(kWithoutCapability ||
                sendto(fd.fd, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0);
}

const std::string kUdp = "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.1:40002 Size: 33b TTL: 64";
// The longest datagram, cut to what a receive takes.
const std::string kUdpToSecond =
    "UDP Packet ID:*  127.0.0.1:40001 > 127.0.0.2:40002 Size: 65525b TTL: 64";
const std::string kIcmp = "ICMP Packet ID:*  127.0.0.1 > 127.0.0.1 Size: 28b TTL: 64";
// The client's packets, then the server's.
const Lines kClient = {
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 60b TTL: 64 FLAGS: SYN ",
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 52b TTL: 64 FLAGS: ACK ",
    "TCP Packet ID:*  127.0.0.1:40011 > 127.0.0.1:40010 Size: 61b TTL: 64 FLAGS: ACK PSH "};
const Lines kServer = {
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 60b TTL: 64 FLAGS: ACK SYN ",
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 52b TTL: 64 FLAGS: ACK ",
    "TCP Packet ID:*  127.0.0.1:40010 > 127.0.0.1:40011 Size: 52b TTL: 64 FLAGS: ACK RST "};

// Starts the window's one capture, on localIp, runs send, waits until the
// log shows packets, presses Stop and sends the datagram from localIp that
// ends the capture. The log then holds the set-up, Stop and end lines and
// each of packets once, identifications aside. The capture thread may have
// looked at Stop before that datagram came, so whether it shows is left out
// (the panel test pins that the packet after Stop is decoded).
void ExpectCaptured(SnifferWindow& window, const std::string& localIp, const Lines& packets,
                    const std::function<void()>& send, const std::string& endTo = "127.0.0.1") {
    window.Start(localIp.c_str());
    EXPECT_TRUE(window.WaitForLines(kSetUpLines.size()));
    send();
    EXPECT_TRUE(window.WaitForLines(kSetUpLines.size() + 2 * packets.size()));
    window.form.Button2Click();
    SendUdp(endTo.c_str(), "end", localIp.c_str());
    EXPECT_TRUE(window.WaitForIdle());
    const Lines all = window.lines();
    // The identification of a packet is the kernel's choice.
    static const std::regex id("Packet ID:[0-9]+ ");
    const std::string end =
        "UDP Packet ID:*  " + localIp + ":40001 > " + endTo + ":40002 Size: 31b TTL: 64";
    std::multiset<std::string> log;
    for (size_t i = 0; i < all.size(); ++i)
        if (std::regex_replace(all[i], id, "Packet ID:* ") == end)
            ++i; // and its separator
        else
            log.insert(std::regex_replace(all[i], id, "Packet ID:* "));
    Lines expected = kSetUpLines + Lines{kStopLine, "Sniffer stoped."};
    for (const std::string& packet : packets)
        expected.insert(expected.end(), {packet, kSeparator});
    EXPECT_EQ(log, std::multiset(expected.begin(), expected.end()));
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
        up = fscanf(shell, "%d %2s", &holder.pid, status) == 2 && status == std::string("up");
        pclose(shell);
        const Fd here(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
        const Fd there(open(("/proc/" + std::to_string(holder.pid) + "/ns/net").c_str(), O_RDONLY));
        if (up && setns(there.fd, CLONE_NEWNET) == 0) {
            answerer = std::make_unique<Fd>(Open(AF_INET, SOCK_DGRAM, "192.0.2.2", 40002));
            up = setns(here.fd, CLONE_NEWNET) == 0;
        }
    }

    Child holder{0};
    bool up = false;
    std::unique_ptr<Fd> answerer;
};

class CaptureLoopbackTest : public ::testing::Test {
  public:
    void SetUp() override {
        if (kWithoutCapability ? !WithoutCapability() : !EnterPrivateNetwork())
            GTEST_SKIP() << "needs a private network namespace; without the capability also "
                            "root, setcap and extended attributes";
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

// Each packet once, with its exact summary line, the longest cut to what a
// receive takes and saved with the length it had on the wire, 65,535 bytes,
// of which the first 65,525 are kept; an empty IPv4 frame ends nothing; Stop
// ends the capture. (The filters are the decoder table's, which runs the
// kernel filter too; when the capture ends, the dump and a second Start are
// the fake capture's.)
TEST_F(CaptureLoopbackTest, ShowsEachPacketOnce) {
    ExpectCaptured(window, "127.0.0.1", Lines{kUdp, kUdpToSecond, kIcmp, kIcmp} + kClient + kServer,
                   [] {
                       SendEmptyIpv4Frame();
                       Ping();
                       TalkTcp();
                       SendUdp("127.0.0.1", "hello");
                       SendUdp("127.0.0.2", std::string(65507, 'x'));
                   });
    const QString saved = QString::fromStdString(window.files.directory_.path() / "all.pcap");
    ASSERT_EQ(WritePcapFile(saved, window.log()->packetStore()->Latest()), "");
    // Where its record lies is the kernel's order: the record's two lengths,
    // captured and on the wire, are looked for among the file's bytes.
    const uint32_t lengths[] = {65525, 65535};
    QFile file(saved);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly) &&
                file.readAll().contains(QByteArray(reinterpret_cast<const char*>(lengths), 8)));
}

// On an interface other than loopback, what this host sends and what it
// receives both show, each packet once; the ARP and IPv6 frames of the new
// link never reach the decoder.
TEST_F(CaptureLoopbackTest, OnAVethBothDirectionsShowOnceAndOnlyIpv4) {
    PeerNamespace peer;
    if (!peer.up)
        GTEST_SKIP() << "needs veth and a second network namespace";
    const Lines packets = {"ICMP Packet ID:*  192.0.2.1 > 192.0.2.2 Size: 28b TTL: 64",
                           "ICMP Packet ID:*  192.0.2.2 > 192.0.2.1 Size: 28b TTL: 64",
                           "UDP Packet ID:*  192.0.2.1:40001 > 192.0.2.2:40002 Size: 33b TTL: 64",
                           "UDP Packet ID:*  192.0.2.2:40002 > 192.0.2.1:40002 Size: 33b TTL: 64"};
    // A datagram there and its echo back, to the test's receiver on 40002.
    const auto exchange = [&] {
        Ping("192.0.2.2");
        SendUdp("192.0.2.2", "hello", "192.0.2.1");
        const sockaddr_in6 back = Address(AF_INET, "192.0.2.1", 40002);
        char data[5];
        ASSERT_EQ(recv(peer.answerer->fd, data, 5, 0), 5);
        ASSERT_EQ(sendto(peer.answerer->fd, data, 5, 0, Raw(back), sizeof back), 5);
    };
    ExpectCaptured(window, "192.0.2.1", packets, exchange, "192.0.2.2");
}
