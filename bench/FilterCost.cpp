// The capture thread's CPU time with and without the kernel filter, for
// filter_cost.sh:
//   FilterCost kernel|decoder RATE SECONDS
// The main window, shown on the offscreen platform with the Sniffer tab
// open, captures TCP on 127.0.0.1 with S. Port 40100, while crafted TCP
// packets go in on lo at RATE per second for SECONDS, one in a hundred from
// port 40100. "kernel" gives the socket the program built from the panel;
// "decoder" gives it only the IPv4 test, so every packet reaches the decoder,
// which drops the other 99 in a hundred itself. Prints "sent N shown N
// cpu_ms X": the capture thread's CPU time from the first packet sent until
// the last line is shown. The packets carry no valid IP checksum, so the
// stack drops them unanswered once the capture has seen them. Run it only
// inside a private network namespace (filter_cost.sh does).

#include "CaptureWindow.h"
#include "PacedSend.h"
#include "sniffer/CaptureFilter.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint16_t kWatchedPort = 40100;

// The real capture, with the capture thread's CPU clock noted at its first
// receive, and in "decoder" mode the IPv4 test in place of the panel's
// program.
class MeasuredCapture : public platform::CaptureApi {
  public:
    explicit MeasuredCapture(bool kernelFilter) : kernelFilter_(kernelFilter) {}
    int WSAStartup(uint16_t version) override { return real_.WSAStartup(version); }
    std::unique_ptr<platform::PacketSocket> OpenRawSocket() override {
        auto socket = real_.OpenRawSocket();
        return socket ? std::make_unique<Socket>(std::move(socket), *this) : nullptr;
    }
    double CpuMilliseconds() const {
        timespec used{};
        if (!clockKnown_ || clock_gettime(clock_, &used) != 0)
            return -1;
        return used.tv_sec * 1e3 + used.tv_nsec / 1e6;
    }

  private:
    struct Socket : platform::PacketSocket {
        Socket(std::unique_ptr<platform::PacketSocket> inner, MeasuredCapture& owner)
            : inner(std::move(inner)), owner(owner) {}
        bool Bind(uint32_t address) override { return inner->Bind(address); }
        bool ReceiveAll(const std::vector<sock_filter>& filter) override {
            return inner->ReceiveAll(owner.kernelFilter_ ? filter : Ipv4FilterProgram());
        }
        bool ReplaceFilter(const std::vector<sock_filter>& filter) override {
            return inner->ReplaceFilter(filter);
        }
        int Receive(uint8_t* buffer, int length, timespec& captured) override {
            if (!owner.clockKnown_ && pthread_getcpuclockid(pthread_self(), &owner.clock_) == 0)
                owner.clockKnown_ = true;
            return inner->Receive(buffer, length, captured);
        }
        uint64_t Drops() override { return inner->Drops(); }
        uint64_t CountDrops() override { return inner->CountDrops(); }
        std::unique_ptr<platform::PacketSocket> inner;
        MeasuredCapture& owner;
    };

    platform::CaptureApi& real_ = platform::SystemSnifferPlatform().capture;
    const bool kernelFilter_;
    clockid_t clock_{};
    std::atomic<bool> clockKnown_ = false;
};

// 127.0.0.1:from > 127.0.0.1:40200, ACK, 40 bytes, both checksums left 0.
std::array<uint8_t, 40> TcpPacket(uint16_t from) {
    std::array<uint8_t, 40> packet{0x45, 0, 0,   40, 0, 0, 0x40, 0, 64, 6,
                                   0,    0, 127, 0,  0, 1, 127,  0, 0,  1};
    const uint8_t tcp[] = {static_cast<uint8_t>(from >> 8),
                           static_cast<uint8_t>(from),
                           0x9D,
                           0x08,
                           0,
                           0,
                           0,
                           1,
                           0,
                           0,
                           0,
                           1,
                           0x50,
                           0x10,
                           0xFF,
                           0xFF};
    std::copy(std::begin(tcp), std::end(tcp), packet.begin() + 20);
    return packet;
}

// Paced in 1 ms steps, like the rate benchmark's sender; every hundredth
// packet comes from the watched port, the others from 99 other ports.
long SendTcp(long rate, double seconds) {
    const int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    sockaddr_ll lo{};
    lo.sll_family = AF_PACKET;
    lo.sll_protocol = htons(ETH_P_IP);
    lo.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
    lo.sll_halen = ETH_ALEN;
    const long sent = SendPaced(rate, seconds, [&](long next, long) {
        const auto packet = TcpPacket(kWatchedPort + next % 100);
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&lo),
               sizeof lo);
        return 1L;
    });
    close(fd);
    return sent;
}

size_t CountTcpLines(const SnifferLog& log) {
    size_t count = 0;
    for (size_t i = 0; i < log.lineCount(); ++i)
        count += log.line(i).rfind("TCP Packet ID:", 0) == 0;
    return count;
}

int Measure(int argc, char** argv, bool kernelFilter, long rate, double seconds) {
    QApplication application(argc, argv);
    MeasuredCapture capture(kernelFilter);
    CaptureWindow window(capture);
    window.form.findChild<QComboBox*>("protobox")->setCurrentText("TCP");
    window.form.findChild<QLineEdit*>("Edit3")->setText(QString::number(kWatchedPort));
    window.form.Button1Click();
    RunEvents(300);
    const double before = capture.CpuMilliseconds();
    std::atomic<long> sent = 0;
    std::thread sender([&] { sent = SendTcp(rate, seconds); });
    size_t shown = 0;
    for (bool sending = true; sending || CountTcpLines(window.log()) != shown;) {
        sending = sent == 0;
        shown = CountTcpLines(window.log());
        RunEvents(500);
    }
    sender.join();
    std::printf("sent %ld shown %zu cpu_ms %.1f\n", sent.load(), shown,
                capture.CpuMilliseconds() - before);
    std::fflush(stdout);
    std::_Exit(0); // the capture thread waits in a receive; nothing waits for it
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode != "kernel" && mode != "decoder")
        return std::fprintf(stderr, "usage: %s kernel|decoder RATE SECONDS\n", argv[0]), 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return Measure(argc, argv, mode == "kernel", std::atol(argv[2]), std::atof(argv[3]));
}
