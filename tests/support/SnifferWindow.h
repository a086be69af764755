#pragma once

// The main window over a sniffer platform of the test's choosing, with
// shortcuts to the Sniffer panel's controls and log.

#include "Main.h"
#include "SnifferLog.h"
#include "Snifferthread.h"
#include "support/EventWait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class SnifferWindow {
  public:
    explicit SnifferWindow(platform::SnifferPlatform& sniffer)
        : os_{platform::SystemPlatform().processes, platform::SystemPlatform().sockets, sniffer},
          form(os_) {}

    // Leaves no capture thread behind: one still running would outlive the
    // platform it uses.
    ~SnifferWindow() {
        EXPECT_TRUE(WaitUntil([] { return !sniffer::AnyThreadAlive(); }))
            << "a capture thread is still running";
    }

    QLineEdit* edit(const char* name) { return form.findChild<QLineEdit*>(name); }
    QComboBox* protobox() { return form.findChild<QComboBox*>("protobox"); }
    QCheckBox* dumpcheck() { return form.findChild<QCheckBox*>("dumpcheck"); }
    QPushButton* start() { return form.findChild<QPushButton*>("Button1"); }
    QPushButton* stop() { return form.findChild<QPushButton*>("Button2"); }
    SnifferLog* log() { return form.findChild<SnifferLog*>("snifflog"); }

    std::vector<std::string> lines() {
        std::vector<std::string> lines;
        for (size_t i = 0; i < log()->lineCount(); ++i)
            lines.push_back(log()->line(i));
        return lines;
    }
    bool hasLine(const std::string& line) {
        for (size_t i = 0; i < log()->lineCount(); ++i)
            if (log()->line(i) == line)
                return true;
        return false;
    }
    bool WaitForLine(const std::string& line) {
        return WaitUntil([&] { return hasLine(line); });
    }
    bool WaitForIdle() {
        return WaitUntil([&] { return start()->isEnabled() && !stop()->isEnabled(); });
    }
    bool capturing() { return !start()->isEnabled() && stop()->isEnabled(); }

    // The eight settings controls, each enabled or not.
    std::vector<bool> settingsEnabled() {
        std::vector<bool> enabled;
        for (QWidget* control : std::initializer_list<QWidget*>{
                 edit("Edit1"), edit("Edit2"), edit("Edit3"), edit("Edit4"), edit("Edit5"),
                 dumpcheck(), protobox(), start()})
            enabled.push_back(control->isEnabled());
        return enabled;
    }

  private:
    platform::Platform os_;

  public:
    TForm1 form;
};
