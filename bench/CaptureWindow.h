#pragma once

// The main window as the capture benchmarks drive it: shown (on the platform
// they choose) with the Sniffer tab open and 127.0.0.1 as the local address, its
// dump files in a temporary directory instead of beside the program.

#include "app/Main.h"
#include "platform/LinuxFileSystem.h"
#include "sniffer/SnifferLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>

class TempExecutableFiles : public platform::LinuxFileSystem {
  public:
    std::string ExecutableDirectory() override { return directory_ + "/"; }
    ~TempExecutableFiles() override { std::filesystem::remove_all(directory_); }

  private:
    std::string directory_ = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillmark-bench-XXXXXX").string();
        return std::string(mkdtemp(pattern.data()));
    }();
};

// Over the system's capture, or over capture when one is given.
struct CaptureWindow {
    TempExecutableFiles files;
    platform::SnifferPlatform sniffer;
    platform::Platform os{platform::SystemPlatform().processes, platform::SystemPlatform().sockets,
                          sniffer};
    TForm1 form{os};

    explicit CaptureWindow(
        platform::CaptureApi& capture = platform::SystemSnifferPlatform().capture)
        : sniffer{capture, files, platform::SystemSnifferPlatform().clock} {
        form.resize(900, 600);
        form.show();
        form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(3);
        form.findChild<QLineEdit*>("Edit2")->setText("127.0.0.1");
    }
    SnifferLog& log() { return *form.findChild<SnifferLog*>("snifflog"); }
};

// Lets the window handle its events for a while in an event loop, which
// sleeps while there is nothing to do, so the window thread's CPU time is
// the program's own.
inline void RunEvents(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// How late the window thread came to a 20 ms timer at worst, in milliseconds,
// since the watch began or was last taken: how long the window froze.
class WindowLag {
  public:
    WindowLag() {
        clock_.start();
        QObject::connect(&ticks_, &QTimer::timeout, [this] {
            worst_ = std::max(worst_, clock_.restart() - ticks_.interval());
        });
        ticks_.start(20);
    }
    qint64 Take() { return std::exchange(worst_, 0); }

  private:
    QElapsedTimer clock_;
    QTimer ticks_;
    qint64 worst_ = 0;
};
