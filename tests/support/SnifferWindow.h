#pragma once

// The main window over a sniffer platform with the dump directory in a
// temporary directory and a fixed clock, and shortcuts to the Sniffer panel's
// controls and log.

#include "app/Main.h"
#include "sniffer/SnifferLog.h"
#include "sniffer/Snifferthread.h"
#include "support/EventWait.h"
#include "support/SnifferFakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline const Lines kSetUpLines = {"Starting sniffer...", "Winsock version confirmed ...",
                                  "Sniffer almost setup ..."};
inline const std::string kSeparator = "-------------------------------------------------";
inline const std::string kStopLine =
    ">>>>> Kill signal sent to sniffer thread. Sniffer will die on next packet.";

struct SnifferWindow {
    // Over the fake capture socket, or over capture when one is given.
    explicit SnifferWindow(platform::CaptureApi* capture = nullptr)
        : sniffer_{capture ? *capture : fake, files, clock},
          os_{platform::SystemPlatform().processes, platform::SystemPlatform().sockets, sniffer_},
          form(os_) {}

    // Leaves no capture thread behind: one still running would outlive the
    // platform it uses.
    ~SnifferWindow() {
        EXPECT_TRUE(WaitUntil([] { return !sniffer::AnyThreadAlive(); }))
            << "a capture thread is still running";
    }

    // Presses Start with this local address.
    void Start(const char* localIp = "127.0.0.1") {
        edit("Edit2")->setText(localIp);
        form.Button1Click();
    }

    QLineEdit* edit(const char* name) { return form.findChild<QLineEdit*>(name); }
    QComboBox* protobox() { return form.findChild<QComboBox*>("protobox"); }
    QCheckBox* dumpcheck() { return form.findChild<QCheckBox*>("dumpcheck"); }
    SnifferLog* log() { return form.findChild<SnifferLog*>("snifflog"); }

    Lines lines() {
        Lines lines;
        for (size_t i = 0; i < log()->lineCount(); ++i)
            lines.push_back(log()->line(i));
        return lines;
    }
    bool WaitForLines(size_t count) {
        return WaitUntil([&] { return log()->lineCount() >= count; });
    }
    // The eight settings controls, then Stop: 1 for each one enabled.
    std::string enabled() {
        std::string enabled;
        for (const char* name : {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "dumpcheck",
                                 "protobox", "Button1", "Button2"})
            enabled += form.findChild<QWidget*>(name)->isEnabled() ? '1' : '0';
        return enabled;
    }
    static inline const std::string kIdle = "111111110", kLocked = "000000001";
    bool WaitForIdle() {
        return WaitUntil([&] { return enabled() == kIdle; });
    }

    FakeCaptureApi fake;
    TempExecutableFiles files;
    FixedClock clock;
    platform::SnifferPlatform sniffer_;
    platform::Platform os_;
    TForm1 form;
};
