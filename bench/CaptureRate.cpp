// Loopback capture rate, for capture_rate.sh. Two modes:
//   CaptureRate send RATE SECONDS            sends UDP datagrams 127.0.0.1:40001 >
//                                            127.0.0.1:40002 at RATE per second
//   CaptureRate quillmark RATE SECONDS [dump] does the same while the main window,
//                                            shown with the Sniffer tab open on the
//                                            platform QT_QPA_PLATFORM names, captures
//                                            UDP on 127.0.0.1 (dump: with the dump on)
// Each prints "sent N ... took S", S the seconds sending took; quillmark adds "shown N drops N
// captureus X windowus X lagms X": the UDP lines in the log, the kernel's drops as the status bar
// shows them, the CPU time per packet sent of the capture thread and of the window's thread, from
// the start of sending until the log stops growing, and the longest the window took to handle a 20
// ms timer late while sending (a click on Stop would wait as long). Run it only inside a private
// network namespace (capture_rate.sh does).

#include "CaptureWindow.h"
#include "PacedSend.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The CPU time of one of this process's threads, in seconds: the main
// thread, or the one named name.
double ThreadCpu(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        const bool main = task.path().filename() == std::to_string(getpid());
        if (name.empty() ? main : comm == name) {
            double nanoseconds = 0;
            std::ifstream(task.path() / "schedstat") >> nanoseconds;
            return nanoseconds / 1e9;
        }
    }
    return 0;
}

// Counts the UDP lines appended since the last call.
class UdpLineCounter {
  public:
    size_t Count(const SnifferLog& log) {
        for (const size_t end = log.lineCount(); next_ < end; ++next_)
            count_ += log.line(next_).rfind("UDP Packet ID:", 0) == 0;
        return count_;
    }

  private:
    size_t next_ = 0;
    size_t count_ = 0;
};

int CaptureWithQuillmark(int argc, char** argv, long rate, double seconds, bool dump) {
    QApplication application(argc, argv);
    CaptureWindow window;
    window.form.findChild<QComboBox*>("protobox")->setCurrentText("UDP");
    window.form.findChild<QCheckBox*>("dumpcheck")->setChecked(dump);
    window.form.Button1Click();
    SnifferLog* log = &window.log();
    RunEvents(300);
    const double captureBefore = ThreadCpu("capture");
    const double windowBefore = ThreadCpu("");
    WindowLag lag;
    std::atomic<long> sent = 0;
    double took = 0;
    std::thread sender([&] { sent = Send(rate, seconds, took); });
    UdpLineCounter counter;
    size_t shown = 0;
    for (bool sending = true; sending || counter.Count(*log) != shown;) {
        sending = sent == 0;
        shown = counter.Count(*log);
        RunEvents(500);
    }
    sender.join();
    const double perPacket = 1e6 / static_cast<double>(sent.load());
    const double captureUs = (ThreadCpu("capture") - captureBefore) * perPacket;
    const double windowUs = (ThreadCpu("") - windowBefore) * perPacket;
    const QString drops = window.form.findChild<QLabel*>("KernelDrops")->text();
    std::printf("sent %ld shown %zu drops %ld captureus %.2f windowus %.2f lagms %lld took %.2f\n",
                sent.load(), shown, drops.section(' ', 0, 0).toLong(), captureUs, windowUs,
                static_cast<long long>(lag.Take()), took);
    std::fflush(stdout);
    std::_Exit(0); // the capture thread waits in a receive; nothing waits for it
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return std::fprintf(stderr, "usage: %s send|quillmark RATE SECONDS [dump]\n", argv[0]), 2;
    const long rate = std::atol(argv[2]);
    const double seconds = std::atof(argv[3]);
    if (std::string(argv[1]) == "send") {
        double took = 0;
        const long sent = Send(rate, seconds, took);
        std::printf("sent %ld took %.2f\n", sent, took);
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return CaptureWithQuillmark(argc, argv, rate, seconds,
                                argc > 4 && std::string(argv[4]) == "dump");
}
