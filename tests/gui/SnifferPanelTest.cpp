// The Sniffer panel over a fake capture socket: Start's checks, the port
// fields, the ways a capture ends early, lines sent from the capture thread,
// and closing the window during a capture. Captures on the real kernel are
// CaptureLoopbackTest's.

#include "support/FileSizeLimit.h"
#include "support/NoNewThreads.h"
#include "support/SnifferWindow.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace fs = std::filesystem;

namespace {

// UDP 127.0.0.1:1000 > 127.0.0.1:2000, identification 7, "hi", and its lines.
const std::vector<uint8_t> kDatagram = {0x45, 0,    0,    30,   0x07, 0x00, 0x40, 0, 64,  17,
                                        0,    0,    127,  0,    0,    1,    127,  0, 0,   1,
                                        0x03, 0xE8, 0x07, 0xD0, 0x00, 0x0A, 0,    0, 'h', 'i'};
const Lines kDatagramLines = {"UDP Packet ID:7  127.0.0.1:1000 > 127.0.0.1:2000 Size: 30b TTL: 64",
                              kSeparator};

// Saves the captured packets to path through the log's context menu, as a
// user would; the warning shown when that fails, or empty.
QString SavePackets(SnifferWindow& window, const std::string& path) {
    Answers answers{"&Save captured packets as...", QString::fromStdString(path)};
    const QPoint at(5, 5);
    QWidget* view = window.log()->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
    QApplication::sendEvent(view, &event);
    return answers.shown.size() > 1 ? answers.shown.last() : "";
}

// What tcpdump reads from a pcap file, without times. Through popen, not
// QProcess: a fork that starts threads kills a ThreadSanitizer build.
std::string TcpdumpRead(const std::string& path) {
    FILE* reader = popen(("tcpdump -nn -t -r " + path + " 2>/dev/null").c_str(), "r");
    std::string text;
    for (int c; reader && (c = std::fgetc(reader)) != EOF;)
        text += static_cast<char>(c);
    return reader && pclose(reader) == 0 ? text : "tcpdump failed";
}

} // namespace

// Start refused: a malformed local address gives its message box and changes
// nothing; a pasted port text that StrToInt rejects, or no thread to be had,
// ends Start in the standard error dialog after the "0" and "ANY" fill-ins.
// The panel stays idle, with no capture running.
TEST(SnifferPanel, AStartThatCannotGoOnLeavesThePanelIdle) {
    struct Case {
        const char* localIp;
        const char* pasted[2] = {"", ""}; // into Edit3 and Edit1
        QString shown = "Invalid local IP. Sniffer need a Local IP to sniff traffic on it.";
        QString after = "||"; // the protocol, Edit3 and Edit1
        bool noThreads = false;
    };
    std::vector<Case> cases;
    for (const char* text : {"", "1.2.3", "1.2.3.", "1.2.3.4 ", "1.2.3.4.5", "1234.1.1.1",
                             "1.2.3.1234", "a.b.c.d", "   "})
        cases.push_back({text});
    cases.push_back({"127.0.0.1", {"12a", ""}, "'12a' is not a valid integer value", "ANY|12a|0"});
    cases.push_back({"127.0.0.1",
                     {"", "2147483648"},
                     "'2147483648' is not a valid integer value",
                     "ANY|0|2147483648"});
    cases.push_back({"127.0.0.1", {"", ""}, "Resource temporarily unavailable", "ANY|0|0", true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.localIp);
        SnifferWindow window;
        for (const int i : {0, 1}) {
            QApplication::clipboard()->setText(c.pasted[i]);
            QTest::keyClick(window.edit(i ? "Edit1" : "Edit3"), Qt::Key_Insert, Qt::ShiftModifier);
        }
        Answers answers;
        std::optional<NoNewThreads> noThreads;
        if (c.noThreads)
            noThreads.emplace();
        // Clicked from the event loop, which turns an exception into the dialog.
        window.edit("Edit2")->setText(c.localIp);
        QTimer::singleShot(0, window.form.findChild<QPushButton*>("Button1"), &QPushButton::click);
        ASSERT_TRUE(WaitUntil([&] { return !answers.shown.isEmpty(); }));
        noThreads.reset();
        EXPECT_EQ(answers.shown[0], c.shown);
        EXPECT_EQ(window.protobox()->currentText() + "|" + window.edit("Edit3")->text() + "|" +
                      window.edit("Edit1")->text(),
                  c.after);
        EXPECT_EQ(window.enabled(), SnifferWindow::kIdle);
        EXPECT_EQ(window.log()->lineCount(), 0u);
    }
}

// Millions of lines read back exactly, the first, one in the middle and the
// last, also as the text a screen reader is given. A log that then cannot be
// written (here a file size limit of 0) ends the capture with a line that
// says why and unlocks the panel; the lines before it stay as they were.
TEST(SnifferPanel, AMillionsOfLinesCaptureReadsBackExactlyUntilTheLogCannotBeWritten) {
    SnifferWindow window;
    window.Start();
    constexpr uint32_t kPackets = 1500000;
    // Packet k's identification and source port say k, in lines of one length.
    const auto id = [](uint32_t k) { return 10000 + k % 50000; };
    const auto port = [](uint32_t k) { return 1000 + k / 50000; };
    const auto line = [&](uint32_t k) {
        return "UDP Packet ID:" + std::to_string(id(k)) + "  127.0.0.1:" + std::to_string(port(k)) +
               " > 127.0.0.1:2000 Size: 30b TTL: 64";
    };
    std::vector<uint8_t> packet = kDatagram;
    const auto feed = [&](uint32_t k) {
        packet[4] = static_cast<uint8_t>(id(k)); // shown as the host reads it
        packet[5] = static_cast<uint8_t>(id(k) >> 8);
        packet[20] = static_cast<uint8_t>(port(k) >> 8);
        packet[21] = static_cast<uint8_t>(port(k));
        window.fake.Feed(packet);
    };
    for (uint32_t k = 0; k < kPackets; ++k)
        feed(k);
    ASSERT_TRUE(window.WaitForLines(3 + 2 * size_t{kPackets}));
    std::optional<FileSizeLimit> none(0);
    // One packet at a time: one fed after the capture ended would wait.
    for (uint32_t k = kPackets; window.enabled() != SnifferWindow::kIdle; ++k) {
        ASSERT_LT(k, kPackets + 100000) << "the capture never ended";
        const size_t before = window.log()->lineCount();
        feed(k);
        ASSERT_TRUE(WaitUntil([&] {
            return window.log()->lineCount() >= before + 2 ||
                   window.enabled() == SnifferWindow::kIdle;
        }));
    }
    none.reset();
    const size_t shown = (window.log()->lineCount() - 4) / 2; // packets
    // The first line, the middle packet's, the last packet's and the last, at
    // text offsets counted here: the set-up lines, then each packet's line
    // and separator.
    const uint64_t setUp = kSetUpLines[0].size() + kSetUpLines[1].size() + kSetUpLines[2].size();
    const uint64_t perPacket = line(0).size() + kSeparator.size() + 2;
    const std::tuple<size_t, uint64_t, std::string> cases[] = {
        {0, 0, kSetUpLines[0] + "\n"},
        {3 + kPackets, setUp + 3 + kPackets / 2 * perPacket, line(kPackets / 2) + "\n"},
        {1 + 2 * shown, setUp + 3 + (shown - 1) * perPacket, line(shown - 1) + "\n"},
        {3 + 2 * shown, setUp + 3 + shown * perPacket,
         "The log could not be written: File too large. Capture stopped."}};
    QAccessibleTextInterface* reader =
        QAccessible::queryAccessibleInterface(window.log())->textInterface();
    for (const auto& [index, offset, text] : cases) {
        int start = 0, end = 0;
        const QString read =
            reader->textAtOffset(static_cast<int>(offset), QAccessible::LineBoundary, &start, &end);
        EXPECT_EQ(window.log()->line(index), text.substr(0, text.find('\n'))) << index;
        EXPECT_EQ(read.toStdString(), text) << index;
        EXPECT_EQ(start, static_cast<int>(offset)) << index;
    }
}

// Stop, pressed twice, is logged twice and ends the capture after the next
// packet, the panel locked until then. The capture dumps what it shows (the
// record's bytes are DumpLogTest's); the next Start sets its file aside,
// each field feeding its own setting, and the new lines follow the old.
// The log's context menu saves the packets that gave lines in the latest
// capture that had any, to a file only its owner may read: the ended
// capture's file is given the name, and copied when saved again; a failed
// write says why and leaves no file, also when it fails half way.
TEST(SnifferPanel, StopEndsTheCaptureAfterTheNextPacketAndANewStartFollowsAndSaves) {
    SnifferWindow window;
    window.dumpcheck()->setChecked(true);
    window.Start();
    ASSERT_TRUE(window.WaitForLines(3));
    auto* stop = window.form.findChild<QPushButton*>("Button2");
    stop->click();
    stop->click();
    EXPECT_EQ(window.enabled(), SnifferWindow::kLocked);
    window.fake.Feed(kDatagram);
    ASSERT_TRUE(window.WaitForIdle());
    const Lines first =
        kSetUpLines + Lines{kStopLine, kStopLine} + kDatagramLines + Lines{"Sniffer stoped."};
    EXPECT_EQ(window.lines(), first);

    window.protobox()->setCurrentText("UDP");
    window.edit("Edit5")->setText("10.0.0.5");
    window.edit("Edit4")->setText("10.0.0.4");
    window.edit("Edit3")->setText("3");
    window.edit("Edit1")->setText("1");
    window.dumpcheck()->setChecked(false);
    window.Start("127.0.0.2");
    const CaptureSettings& s = SnifferSettings;
    EXPECT_EQ(
        (Lines{s.Protocol, s.SourceIp, s.DestinationIp, s.LocalIp, std::to_string(s.SourcePort),
               std::to_string(s.DestinationPort), std::to_string(s.DumpEnabled)}),
        (Lines{"UDP", "10.0.0.5", "10.0.0.4", "127.0.0.2", "3", "1", "0"}));
    // A failed receive ends it; its message to standard output is the failure table's.
    testing::internal::CaptureStdout();
    window.fake.Feed({});
    ASSERT_TRUE(window.WaitForIdle());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(window.lines(), first + kSetUpLines + Lines{"Sniffer stoped."});
    std::ifstream dump(window.files.dumps() / "dump.log2149", std::ios::binary);
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(dump), {})
                  .find("Source IP: 127.0.0.1:1000\r\nDestination IP: 127.0.0.1:2000\r\n"),
              std::string::npos);
    const fs::path directory = window.files.directory_.path();
    EXPECT_NE(SavePackets(window, directory / "missing" / "saved.pcap"), "");
    for (const char* name : {"named.pcap", "copied.pcap"}) {
        EXPECT_EQ(SavePackets(window, directory / name), "");
        EXPECT_EQ(TcpdumpRead(directory / name),
                  "IP 127.0.0.1.1000 > 127.0.0.1.2000: UDP, length 2\n");
        EXPECT_EQ(fs::status(directory / name).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    QString warning;
    {
        const FileSizeLimit small(30); // the file header fits, the packet does not
        warning = SavePackets(window, directory / "saved.pcap");
    }
    EXPECT_TRUE(warning.startsWith("The captured packets could not be saved to "))
        << warning.toStdString();
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), 3) << "dumps/ and two files";
}

// Typed letters, signs and Ctrl+V (22) never reach the port fields; Backspace
// and Delete do. (Shift+Insert types no character, so it pastes: the Start
// refusals paste that way.)
TEST(SnifferPanel, PortFieldsTakeOnlyTypedDigitsBackspaceAndDelete) {
    SnifferWindow window;
    QApplication::clipboard()->setText("77a");
    for (const char* name : {"Edit3", "Edit1"}) {
        QLineEdit* field = window.edit(name);
        QTest::keyClicks(field, "a1-+ 2.x3");
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), "123") << name;
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Home);
        QTest::keyClick(field, Qt::Key_Delete);
        EXPECT_EQ(field->text(), "2") << name;
    }
}

// Each set-up step that fails, a failure no one foresaw inside the capture
// thread, and a failed receive (told on standard output only), end the capture with its line,
// unlock the panel and leave no socket open. With the dump switch on and a file where the dump
// directory goes, the records are skipped and the file left as it was; the kernel's drops, counted
// once more at the end, stay in the status bar.
TEST(SnifferPanel, EachFailureEndsTheCaptureWithItsLineAndUnlocks) {
    using Failure = FakeCaptureApi::Failure;
    const Lines started = {"Starting sniffer...", "Winsock version confirmed ..."};
    const struct {
        Failure failure;
        Lines lines;
        std::string out = "";
        bool throws = false;
    } cases[] = {
        {Failure::Startup, {"Starting sniffer...", "Failed...."}},
        {Failure::Socket,
         started + Lines({"Failed to create Raw socket for sniffing.BytesReturned.."})},
        {Failure::Bind, started + Lines({"Failed setup sniffer on local ip, Is it a valid ip ?"})},
        {Failure::ReceiveAll, started + Lines({"something went wrong. sorry!"})},
        {Failure::None, kSetUpLines + Lines{"The capture failed: std::bad_alloc. Capture stopped."},
         "", true},
        {Failure::None, kSetUpLines + kDatagramLines + Lines{"Sniffer stoped."},
         "recvfrom() failed.\n"},
    };
    for (const auto& c : cases) {
        SnifferWindow window;
        std::ofstream(window.files.dumps()) << "not a directory";
        window.dumpcheck()->setChecked(true);
        window.fake.failure = c.failure;
        window.fake.receiveThrows = c.throws;
        window.fake.drops = 3;
        window.fake.uncounted = 2;
        testing::internal::CaptureStdout();
        window.Start();
        window.fake.Feed(kDatagram);
        window.fake.Feed({});
        ASSERT_TRUE(window.WaitForIdle());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(window.lines(), c.lines);
        EXPECT_EQ(fs::file_size(window.files.dumps()), 15u);
        EXPECT_FALSE(window.fake.socketOpen);
        const QString drops = c.out.empty() ? "" : "5 packets dropped by the kernel";
        EXPECT_EQ(window.form.findChild<QWidget*>("KernelDrops")->property("text").toString(),
                  drops);
    }
}

// Each line is in the log when PostLine returns, in order, also while the
// window handles nothing; a line the window appends meanwhile (as Stop does)
// falls between them where it was appended. An empty line is a line.
TEST(SnifferPostLine, EachLineIsInTheLogWhenItReturnsAndTheWindowsLineFallsWhereAppended) {
    SnifferWindow window;
    constexpr size_t kLines = 20000;
    std::atomic<size_t> returned = 0;
    bool neverAhead = true;
    std::thread sender([&] {
        for (size_t i = 0; i < kLines; ++i) {
            sniffer::PostLine(i == 1 ? "" : std::to_string(i).c_str());
            neverAhead = neverAhead && window.log()->lineCount() > i;
            ++returned;
        }
    });
    while (returned < kLines / 2) {
    }
    const size_t before = returned;
    window.log()->appendLine("stop");
    const size_t after = returned;
    sender.join();
    EXPECT_TRUE(neverAhead);
    Lines lines = window.lines();
    const auto stop = std::find(lines.begin(), lines.end(), "stop");
    ASSERT_NE(stop, lines.end());
    EXPECT_GE(static_cast<size_t>(stop - lines.begin()), before);
    EXPECT_LE(static_cast<size_t>(stop - lines.begin()), after + 1); // one may not have returned
    lines.erase(stop);
    ASSERT_EQ(lines.size(), kLines);
    for (size_t i = 0; i < kLines; ++i)
        ASSERT_EQ(lines[i], i == 1 ? "" : std::to_string(i));
}

// A capture whose receive never returns, then the main window closed and the
// way out main() takes.
TEST(SnifferPanelDeathTest, ClosingDuringACaptureEndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SnifferWindow window;
            window.form.show();
            window.Start();
            window.WaitForLines(3);
            QTimer::singleShot(0, &window.form, &QWidget::close);
            ExitIfCaptureRunning(QApplication::exec());
            std::exit(1);
        },
        testing::ExitedWithCode(0), "");
}
