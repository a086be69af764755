// Long captures at a steady rate, for long_capture.sh: the main window,
// shown with the Sniffer tab open on the platform QT_QPA_PLATFORM names,
// captures UDP on 127.0.0.1 while UDP datagrams go from 127.0.0.1:40001 to
// 127.0.0.1:40002 at RATE a second for SECONDS.
//
//   LongCapture RATE SECONDS INTERVAL SAVE_DIRECTORY
//
// Every INTERVAL seconds it prints one row: the seconds since sending began,
// the resident memory (VmRSS, MiB), the disk the log's and the packets'
// files take (their allocated blocks, MiB), the datagrams sent so far, the
// UDP lines shown (counting those removed for the disk limit: each datagram
// gives a line and a separator), the window's longest lag in the interval
// (how late a 20 ms timer fired, ms) and the time to paint the view after a
// jump to the line in the middle (ms). After Stop it prints the time
// "Save captured packets as..." takes to write the capture to SAVE_DIRECTORY
// (it ends in fdatasync), the same for `cp` of that file and for `sync` of
// the copy, the file's size, and the status bar's notice. Run
// it only inside a private network namespace (long_capture.sh does).

#include "CaptureWindow.h"
#include "PacedSend.h"
#include "sniffer/PcapSave.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

long VmRssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The blocks held by this process's open files in the cache directory.
double ScratchMiB(const std::string& directory) {
    uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        struct stat status {};
        if (!error && target.rfind(directory, 0) == 0 && stat(entry.path().c_str(), &status) == 0)
            bytes += static_cast<uint64_t>(status.st_blocks) * 512;
    }
    return static_cast<double>(bytes) / (1 << 20);
}

// Paints the view at once after a jump to the middle line, then follows the
// end again.
double JumpPaintMs(SnifferLog& log) {
    QElapsedTimer clock;
    clock.start();
    log.scrollToLine(log.lineCount() / 2);
    log.viewport()->repaint();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    log.verticalScrollBar()->setValue(log.verticalScrollBar()->maximum());
    return ms;
}

double Seconds(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5)
        return std::fprintf(stderr, "usage: %s RATE SECONDS INTERVAL SAVE_DIRECTORY\n", argv[0]), 2;
    const long rate = std::atol(argv[1]);
    const double seconds = std::atof(argv[2]);
    const int interval = std::atoi(argv[3]);
    const std::string saveDirectory = argv[4];
    QApplication application(argc, argv);
    CaptureWindow window;
    SnifferLog& log = window.log();
    window.form.findChild<QComboBox*>("protobox")->setCurrentText("UDP");
    window.form.Button1Click();
    RunEvents(300);
    const std::string scratch = log.lines().Space()->Directory();

    WindowLag lag;
    std::atomic<long> sent = 0;
    std::atomic<bool> sending = true;
    double took = 0;
    std::thread sender([&] {
        Send(rate, seconds, took, &sent);
        sending = false;
    });
    std::printf("%7s %9s %10s %12s %12s %7s %8s\n", "seconds", "rss_MiB", "disk_MiB", "sent",
                "shown", "lag_ms", "jump_ms");
    QElapsedTimer clock;
    clock.start();
    const auto row = [&] {
        const uint64_t lines = log.lines().removed() + log.lineCount();
        const double jump = JumpPaintMs(log);
        std::printf("%7.0f %9.1f %10.1f %12ld %12llu %7lld %8.2f\n", Seconds(clock),
                    static_cast<double>(VmRssKiB()) / 1024, ScratchMiB(scratch), sent.load(),
                    static_cast<unsigned long long>(lines > 3 ? (lines - 3) / 2 : 0),
                    static_cast<long long>(lag.Take()), jump);
        std::fflush(stdout);
    };
    for (int next = interval; sending; next += interval) {
        while (sending && Seconds(clock) < next)
            RunEvents(100);
        row();
    }
    sender.join();
    for (uint64_t seen = 0; seen != log.lines().removed() + log.lineCount();) {
        seen = log.lines().removed() + log.lineCount();
        RunEvents(1000);
    }
    row();

    window.form.Button2Click();
    double unused = 0;
    Send(1000, 0.01, unused); // the capture ends after the next packet
    auto* start = window.form.findChild<QPushButton*>("Button1");
    while (!start->isEnabled())
        RunEvents(50);
    const std::string saved = saveDirectory + "/long_capture.pcap";
    QElapsedTimer saving;
    saving.start();
    const QString error = WritePcapFile(QString::fromStdString(saved), log.packetStore()->Latest());
    const double saveSeconds = Seconds(saving);
    saving.restart();
    const int copied = std::system(("cp '" + saved + "' '" + saved + ".cp'").c_str());
    const double copySeconds = Seconds(saving);
    saving.restart();
    const int synced = std::system(("sync '" + saved + ".cp'").c_str());
    const double syncSeconds = Seconds(saving);
    std::printf("save %.2f s, cp %.2f s + sync %.2f s, %.1f MiB%s%s\n", saveSeconds, copySeconds,
                syncSeconds, static_cast<double>(std::filesystem::file_size(saved)) / (1 << 20),
                error.isEmpty() ? "" : ", save failed: ", error.toLocal8Bit().constData());
    std::printf("status bar: %s\n",
                window.form.findChild<QLabel*>("LogNotice")->text().toLocal8Bit().constData());
    std::filesystem::remove(saved);
    std::filesystem::remove(saved + ".cp");
    std::fflush(stdout);
    std::_Exit(copied == 0 && synced == 0 && error.isEmpty() ? 0 : 1);
}
