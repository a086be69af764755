// Loopback capture rate, for capture_rate.sh. Two modes:
//   CaptureRate send RATE SECONDS       sends UDP datagrams 127.0.0.1:40001 >
//                                       127.0.0.1:40002 at RATE per second
//   CaptureRate quillmark RATE SECONDS  does the same while the main window,
//                                       shown on the offscreen platform with
//                                       the Sniffer tab open, captures UDP on
//                                       127.0.0.1
// Each prints "sent N shown N drops N" (shown and drops for quillmark only).
// Run it only inside a private network namespace (capture_rate.sh does).

#include "CaptureWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <linux/if_packet.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Paced in 1 ms steps: each step sends what the rate owes so far. A bound
// receiver keeps the kernel from answering with "port unreachable".
long Send(long rate, double seconds) {
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in at = Loopback(40002);
    bind(receiver, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in from = Loopback(40001);
    const sockaddr_in to = Loopback(40002);
    bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from);
    const long total = static_cast<long>(rate * seconds);
    const auto start = std::chrono::steady_clock::now();
    long sent = 0;
    while (sent < total) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long owed = std::min(total, static_cast<long>(elapsed * rate) + 1);
        for (; sent < owed; ++sent)
            sendto(fd, "quillmark", 9, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(fd);
    close(receiver);
    return sent;
}

// The capture's own counters, read from its packet socket in this process.
long KernelDrops() {
    DIR* fds = opendir("/proc/self/fd");
    long drops = -1;
    while (const dirent* entry = fds ? readdir(fds) : nullptr) {
        const int fd = std::atoi(entry->d_name);
        int domain = 0;
        socklen_t length = sizeof domain;
        if (fd <= 2 || getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0 ||
            domain != AF_PACKET)
            continue;
        tpacket_stats stats{};
        length = sizeof stats;
        if (getsockopt(fd, SOL_PACKET, PACKET_STATISTICS, &stats, &length) == 0)
            drops = stats.tp_drops;
    }
    if (fds)
        closedir(fds);
    return drops;
}

size_t CountUdpLines(const SnifferLog& log) {
    size_t count = 0;
    for (size_t i = 0; i < log.lineCount(); ++i)
        count += log.line(i).rfind("UDP Packet ID:", 0) == 0;
    return count;
}

int CaptureWithQuillmark(int argc, char** argv, long rate, double seconds) {
    QApplication application(argc, argv);
    CaptureWindow window;
    window.form.findChild<QComboBox*>("protobox")->setCurrentText("UDP");
    window.form.Button1Click();
    SnifferLog* log = &window.log();
    RunEvents(300);
    std::atomic<long> sent = 0;
    std::thread sender([&] { sent = Send(rate, seconds); });
    size_t shown = 0;
    for (bool sending = true; sending || CountUdpLines(*log) != shown;) {
        sending = sent == 0;
        shown = CountUdpLines(*log);
        RunEvents(500);
    }
    sender.join();
    std::printf("sent %ld shown %zu drops %ld\n", sent.load(), shown, KernelDrops());
    std::fflush(stdout);
    std::_Exit(0); // the capture thread waits in a receive; nothing waits for it
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return std::fprintf(stderr, "usage: %s send|quillmark RATE SECONDS\n", argv[0]), 2;
    const long rate = std::atol(argv[2]);
    const double seconds = std::atof(argv[3]);
    if (std::string(argv[1]) == "send") {
        std::printf("sent %ld\n", Send(rate, seconds));
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return CaptureWithQuillmark(argc, argv, rate, seconds);
}
