// Long captures, for soak.sh: the main window, shown on the offscreen
// platform with the Sniffer tab open, captures on 127.0.0.1 with the dump on
// while soak.sh keeps a steady loopback load going. First CYCLES Start/Stop
// cycles of CYCLE_SECONDS each, then one capture of MINUTES minutes.
//
//   Soak CYCLES CYCLE_SECONDS MINUTES
//
// At the start, after each cycle and after each minute it prints the
// process's resident memory (VmRSS), the log's lines and the heap they take,
// the memory that is not the log's, the open descriptors and the threads;
// then what changed from start to end. Run it only inside a private network
// namespace (soak.sh does).

#include "CaptureWindow.h"
#include "sniffer/Snifferthread.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct Sample {
    long rssKiB = 0;
    size_t lines = 0;
    long logKiB = 0;
    long fds = 0;
    long threads = 0;
    long restKiB() const { return rssKiB - logKiB; }
};

long StatusField(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0 && line[std::strlen(key)] == ':')
            return std::atol(line.c_str() + std::strlen(key) + 1);
    return -1;
}

// Open descriptors, less the one that lists them.
long OpenDescriptors() {
    DIR* fds = opendir("/proc/self/fd");
    long count = -1;
    while (readdir(fds))
        ++count;
    closedir(fds);
    return count - 2; // "." and ".."
}

// What the log takes from the heap: its text is on disk, and memory holds
// one 16-byte place every 64 lines beside a fixed write buffer and block
// cache (counted in the rest).
size_t LogHeapBytes(size_t lines) {
    return (lines / 64 + 1) * 16;
}

Sample Measure(const SnifferLog& log) {
    Sample sample;
    sample.rssKiB = StatusField("VmRSS");
    sample.threads = StatusField("Threads");
    sample.fds = OpenDescriptors();
    sample.lines = log.lineCount();
    sample.logKiB = static_cast<long>(LogHeapBytes(sample.lines) / 1024);
    return sample;
}

void Print(const char* when, int number, const Sample& s) {
    std::printf("%-7s %3d %10ld %10zu %9ld %10ld %5ld %8ld\n", when, number, s.rssKiB, s.lines,
                s.logKiB, s.restKiB(), s.fds, s.threads);
    std::fflush(stdout);
}

class Capture {
  public:
    explicit Capture(TForm1& form) : form_(form) {}

    bool Start() {
        form_.Button1Click();
        return Wait([&] { return form_.findChild<QPushButton*>("Button2")->isEnabled(); });
    }
    // Stop takes effect after the next packet, which the load brings.
    bool Stop() {
        form_.Button2Click();
        return Wait([&] {
            return !sniffer::AnyThreadAlive() &&
                   form_.findChild<QPushButton*>("Button1")->isEnabled();
        });
    }

  private:
    template <typename Done> bool Wait(Done done) {
        QElapsedTimer waited;
        waited.start();
        while (!done()) {
            if (waited.elapsed() > 10000)
                return false;
            RunEvents(10);
        }
        return true;
    }

    TForm1& form_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return std::fprintf(stderr, "usage: %s CYCLES CYCLE_SECONDS MINUTES\n", argv[0]), 2;
    const int cycles = std::atoi(argv[1]);
    const int cycleSeconds = std::atoi(argv[2]);
    const int minutes = std::atoi(argv[3]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    CaptureWindow window;
    window.form.findChild<QCheckBox*>("dumpcheck")->setChecked(true);
    const SnifferLog& log = window.log();
    Capture capture(window.form);
    RunEvents(1000);

    std::printf("%-11s %10s %10s %9s %10s %5s %8s\n", "when", "rss_kib", "log_lines", "log_kib",
                "rest_kib", "fds", "threads");
    const Sample start = Measure(log);
    Print("start", 0, start);
    bool ok = true;
    for (int cycle = 1; cycle <= cycles && ok; ++cycle) {
        ok = capture.Start();
        RunEvents(cycleSeconds * 1000);
        ok = ok && capture.Stop();
        Print("cycle", cycle, Measure(log));
    }
    ok = ok && capture.Start();
    for (int minute = 1; minute <= minutes && ok; ++minute) {
        RunEvents(60 * 1000);
        Print("minute", minute, Measure(log));
    }
    ok = ok && capture.Stop();
    RunEvents(1000);
    const Sample end = Measure(log);
    Print("end", 0, end);
    if (!ok)
        std::printf("a capture did not start or stop in time\n");
    std::printf("grew from start to end: log %ld KiB (%zu lines), everything else %ld KiB, "
                "descriptors %ld, threads %ld\n",
                end.logKiB - start.logKiB, end.lines - start.lines, end.restKiB() - start.restKiB(),
                end.fds - start.fds, end.threads - start.threads);
    std::fflush(stdout);
    return ok ? 0 : 1;
}
