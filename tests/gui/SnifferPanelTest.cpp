// The Sniffer panel over a fake capture socket: Start's checks and fill-ins,
// the panel's locking, Stop, the port fields, and every way a capture ends.

#include "support/ModalWindows.h"
#include "support/SnifferWindow.h"

#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const std::string kSeparator = "-------------------------------------------------";
const std::string kStopLine =
    ">>>>> Kill signal sent to sniffer thread. Sniffer will die on next packet.";
const Lines kSetUpLines = {"Starting sniffer...", "Winsock version confirmed ...",
                           "Sniffer almost setup ..."};

// UDP 127.0.0.1:1000 > 127.0.0.1:2000, identification 7, "hi".
std::vector<uint8_t> Datagram() {
    return {0x45, 0,   0, 30, 0x07, 0x00, 0x40, 0,    64,   17,   0,    0, 127, 0,   0,
            1,    127, 0, 0,  1,    0x03, 0xE8, 0x07, 0xD0, 0x00, 0x0A, 0, 0,   'h', 'i'};
}
const std::string kDatagramLine =
    "UDP Packet ID:7  127.0.0.1:1000 > 127.0.0.1:2000 Size: 30b TTL: 64";

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class SnifferPanelTest : public ::testing::Test {
  protected:
    void Start(const char* localIp = "127.0.0.1") {
        window.edit("Edit2")->setText(localIp);
        window.form.Button1Click();
    }
    // Ends a running capture the way a failing receive does.
    void EndCapture() {
        window.fake.Feed(std::nullopt);
        ASSERT_TRUE(window.WaitForIdle());
    }

    SnifferWindow window;
};

} // namespace

TEST_F(SnifferPanelTest, RejectsMalformedLocalAddressesAndChangesNothing) {
    for (const char* text : {"", "1.2.3", "1.2.3.", "1.2.3.4 ", "1.2.3.4.5", "1234.1.1.1",
                             "1.2.3.1234", "a.b.c.d", "   "}) {
        window.edit("Edit2")->setText(text);
        QStringList shown;
        ASSERT_TRUE(WithModalWindow([&] { window.form.Button1Click(); },
                                    [&](QWidget& window) {
                                        auto& box = dynamic_cast<QMessageBox&>(window);
                                        shown << box.windowTitle() << box.text();
                                        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
                                        EXPECT_EQ(box.buttons().size(), 1);
                                    }))
            << text;
        EXPECT_EQ(shown, QStringList({"Look", "Invalid local IP. Sniffer need a Local IP to "
                                              "sniff traffic on it."}));
        EXPECT_EQ(window.edit("Edit1")->text(), "") << text;
        EXPECT_EQ(window.protobox()->currentIndex(), -1) << text;
        EXPECT_FALSE(window.capturing()) << text;
        EXPECT_FALSE(sniffer::AnyThreadAlive()) << text;
        EXPECT_EQ(window.log()->lineCount(), 0u) << text;
    }
}

TEST_F(SnifferPanelTest, StartFillsInTheFieldsHandsTheSettingsOverAndLocksThePanel) {
    window.edit("Edit4")->setText("10.0.0.1");
    window.edit("Edit5")->setText("10.0.0.2");
    window.edit("Edit3")->setText("70000");
    window.dumpcheck()->setChecked(true);
    Start("1.2.3.4");
    EXPECT_EQ(window.edit("Edit1")->text(), "0");
    EXPECT_EQ(window.protobox()->currentText(), "ANY");
    const CaptureSettings& s = SnifferSettings;
    EXPECT_EQ(std::tie(s.Protocol, s.DestinationIp, s.SourceIp, s.LocalIp, s.DestinationPort,
                       s.SourcePort, s.DumpEnabled),
              (std::tuple<std::string, std::string, std::string, std::string, int, int, int>{
                  "ANY", "10.0.0.1", "10.0.0.2", "1.2.3.4", 0, 70000, 1}));
    EXPECT_TRUE(fs::is_directory(window.files.dumps()));
    EXPECT_EQ(window.settingsEnabled(), std::vector<bool>(8, false));
    EXPECT_TRUE(window.stop()->isEnabled());
    ASSERT_TRUE(window.WaitForLine("Sniffer almost setup ..."));
    EndCapture();
    EXPECT_EQ(window.settingsEnabled(), std::vector<bool>(8, true));
}

// The standard error dialog shows what StrToInt says; nothing starts.
TEST_F(SnifferPanelTest, APortTextStrToIntRejectsShowsTheErrorAndLeavesThePanelIdle) {
    window.edit("Edit3")->setText("12a"); // as a paste from the context menu can leave it
    window.edit("Edit2")->setText("127.0.0.1");
    QString shown;
    EXPECT_TRUE(
        WithModalWindow([&] { QTimer::singleShot(0, window.start(), &QPushButton::click); },
                        [&](QWidget& box) { shown = dynamic_cast<QMessageBox&>(box).text(); }));
    EXPECT_EQ(shown, "'12a' is not a valid integer value");
    EXPECT_EQ(window.edit("Edit1")->text(), "0");
    EXPECT_EQ(window.protobox()->currentText(), "ANY");
    EXPECT_FALSE(window.capturing());
    EXPECT_FALSE(sniffer::AnyThreadAlive());
}

TEST_F(SnifferPanelTest, StopWaitsForTheNextPacketAndLogsEachPress) {
    Start();
    ASSERT_TRUE(window.WaitForLine("Sniffer almost setup ..."));
    window.stop()->click();
    window.form.Button2Click();
    EXPECT_TRUE(window.capturing());
    window.fake.Feed(Datagram());
    ASSERT_TRUE(window.WaitForIdle());
    EXPECT_EQ(window.lines(), kSetUpLines + Lines({kStopLine, kStopLine, kDatagramLine, kSeparator,
                                                   "Sniffer stoped."}));
    EXPECT_FALSE(window.fake.socketOpen());
}

TEST_F(SnifferPanelTest, ClosingTheWindowAsksTheCaptureToStop) {
    Start();
    ASSERT_TRUE(window.WaitForLine("Sniffer almost setup ..."));
    window.form.close();
    window.fake.Feed(Datagram());
    EXPECT_TRUE(window.WaitForLine("Sniffer stoped."));
}

TEST_F(SnifferPanelTest, PortFieldsTakeOnlyDigitsBackspaceAndDelete) {
    QApplication::clipboard()->setText("77a");
    for (const char* name : {"Edit3", "Edit1"}) {
        QLineEdit* field = window.edit(name);
        QTest::keyClicks(field, "a1-+ 2.x3");
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), "123") << name;
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Home);
        QTest::keyClick(field, Qt::Key_Delete);
        EXPECT_EQ(field->text(), "2") << name;
    }
    QTest::keyClicks(window.edit("Edit5"), "a.b");
    EXPECT_EQ(window.edit("Edit5")->text(), "a.b");
}

TEST_F(SnifferPanelTest, EachSetUpFailureEndsTheCaptureWithItsLineAndUnlocks) {
    using Failure = FakeCaptureApi::Failure;
    const struct {
        Failure failure;
        Lines lines;
    } cases[] = {
        {Failure::Startup, {"Starting sniffer...", "Failed...."}},
        {Failure::Socket,
         {"Starting sniffer...", "Winsock version confirmed ...",
          "Failed to create Raw socket for sniffing.BytesReturned.."}},
        {Failure::Bind,
         {"Starting sniffer...", "Winsock version confirmed ...",
          "Failed setup sniffer on local ip, Is it a valid ip ?"}},
        {Failure::ReceiveAll,
         {"Starting sniffer...", "Winsock version confirmed ...", "something went wrong. sorry!"}},
    };
    for (const auto& c : cases) {
        window.fake.failure = c.failure;
        const long before = static_cast<long>(window.log()->lineCount());
        Start();
        ASSERT_TRUE(window.WaitForIdle());
        const Lines lines = window.lines();
        EXPECT_EQ(Lines(lines.begin() + before, lines.end()), c.lines);
        EXPECT_FALSE(window.fake.socketOpen());
    }
}

// The receive fails after two packets, with the dump switch on and the dump
// file or its directory impossible to make: every record is skipped, the log
// is that of any capture, what stands in the way is left as it was, and the
// failure is told on standard output only.
TEST(SnifferFaults, AFailedReceiveOrAnUnwritableDumpLeavesTheRestWhole) {
    // TCP 127.0.0.1:1025 > 127.0.0.1:80, SYN, identification 7, "hi" as data.
    const std::vector<uint8_t> segment = {
        0x45, 0, 0,    42, 0x07, 0x00, 0x40, 0, 64, 6, 0, 0,    127, 0, 0, 1, 127, 0, 0, 1,   0x04,
        1,    0, 0x50, 0,  0,    0,    1,    0, 0,  0, 0, 0x50, 2,   1, 0, 0, 0,   0, 0, 'h', 'i'};
    const std::string segmentLine =
        "TCP Packet ID:7  127.0.0.1:1025 > 127.0.0.1:80 Size: 42b TTL: 64 FLAGS: SYN ";
    const struct {
        const char* fault;
        std::function<void(const fs::path& dumps)> plant;
        Lines tree; // the executable's directory afterwards
    } cases[] = {
        {"a file stands where the dump directory goes",
         [](const fs::path& dumps) { std::ofstream(dumps) << "not a directory"; },
         {"dumps: not a directory"}},
        {"a directory stands where the dump file goes",
         [](const fs::path& dumps) { fs::create_directories(dumps / "dump.log"); },
         {"dumps", "dumps/dump.log"}},
    };
    for (const auto& c : cases) {
        SnifferWindow window;
        c.plant(window.files.dumps());
        window.edit("Edit2")->setText("127.0.0.1");
        window.dumpcheck()->setChecked(true);
        window.form.Button1Click();
        window.fake.Feed(segment);
        window.fake.Feed(Datagram());
        testing::internal::CaptureStdout();
        window.fake.Feed(std::nullopt);
        ASSERT_TRUE(window.WaitForIdle()) << c.fault;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "recvfrom() failed.\n") << c.fault;
        EXPECT_EQ(window.lines(), kSetUpLines + Lines({segmentLine, kSeparator, kDatagramLine,
                                                       kSeparator, "Sniffer stoped."}))
            << c.fault;
        EXPECT_FALSE(window.fake.socketOpen()) << c.fault;

        const fs::path root = window.files.dumps().parent_path();
        Lines tree;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            std::ostringstream text;
            text << fs::relative(entry.path(), root).string();
            if (entry.is_regular_file())
                text << ": " << std::ifstream(entry.path()).rdbuf();
            tree.push_back(text.str());
        }
        std::sort(tree.begin(), tree.end());
        EXPECT_EQ(tree, c.tree) << c.fault;
    }
}

TEST(SnifferPostLine, AppendsEachLineBeforeTheSenderGoesOn) {
    SnifferWindow window;
    std::atomic<size_t> returned = 0;
    std::thread sender([&] {
        for (const char* line : {"first", "", "third"}) {
            sniffer::PostLine(line);
            ++returned;
        }
    });
    bool neverAhead = true;
    ASSERT_TRUE(WaitUntil([&] {
        neverAhead = neverAhead && returned <= window.log()->lineCount();
        return returned == 3;
    }));
    sender.join();
    EXPECT_TRUE(neverAhead);
    EXPECT_EQ(window.lines(), (Lines{"first", "", "third"}));
}

// Starts a capture whose receive never returns, closes the main window and
// leaves the way main() does.
void CloseDuringACapture() {
    SnifferWindow window;
    window.form.show();
    window.edit("Edit2")->setText("127.0.0.1");
    window.form.Button1Click();
    window.WaitForLine("Sniffer almost setup ...");
    QTimer::singleShot(0, &window.form, &QWidget::close);
    ExitIfCaptureRunning(QApplication::exec());
    std::exit(1);
}

TEST(SnifferPanelDeathTest, ClosingDuringACaptureEndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CloseDuringACapture(), testing::ExitedWithCode(0), "");
}
