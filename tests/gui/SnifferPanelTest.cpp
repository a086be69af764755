#include "Rtl.h"
#include "support/SnifferFakes.h"
#include "support/SnifferWindow.h"

#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Presses Start, expecting it to open a message box; inspects and closes it.
bool WithMessageBox(const std::function<void()>& open,
                    const std::function<void(QMessageBox&)>& inspect) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            opened = true;
            inspect(*box);
            box->accept();
        }
    });
    open();
    return opened;
}

const std::string kStopLine =
    ">>>>> Kill signal sent to sniffer thread. Sniffer will die on next packet.";
const std::vector<std::string> kSetUpLines = {
    "Starting sniffer...", "Winsock version confirmed ...", "Sniffer almost setup ..."};

// A UDP datagram 127.0.0.1:1000 > 127.0.0.1:2000 with "hi".
std::vector<uint8_t> Datagram() {
    return {0x45, 0,   0, 30, 0x07, 0x00, 0x40, 0,    64,   17,   0,    0, 127, 0,   0,
            1,    127, 0, 0,  1,    0x03, 0xE8, 0x07, 0xD0, 0x00, 0x0A, 0, 0,   'h', 'i'};
}
const std::string kDatagramLine =
    "UDP Packet ID:7  127.0.0.1:1000 > 127.0.0.1:2000 Size: 30b TTL: 64";
const std::string kSeparator = "-------------------------------------------------";

class SnifferPanelTest : public ::testing::Test {
  protected:
    void Start(const char* localIp = "127.0.0.1") {
        window.edit("Edit2")->setText(localIp);
        window.form.Button1Click();
    }
    // Ends a running capture the way a failing receive does.
    void EndCapture() {
        capture.Feed(std::nullopt);
        ASSERT_TRUE(window.WaitForIdle());
    }

    FakeCaptureApi capture;
    TempExecutableFiles files;
    FixedClock clock;
    platform::SnifferPlatform sniffer{capture, files, clock};
    SnifferWindow window{sniffer};
};

} // namespace

TEST_F(SnifferPanelTest, RejectsMalformedLocalAddressesAndChangesNothing) {
    for (const char* text : {"", "1.2.3", "1.2.3.", "1.2.3.4 ", "1.2.3.4.5", "1234.1.1.1",
                             "1.2.3.1234", "a.b.c.d", "   "}) {
        window.edit("Edit2")->setText(text);
        QString title, message;
        QMessageBox::Icon icon = QMessageBox::Warning;
        int buttons = 0;
        ASSERT_TRUE(WithMessageBox([&] { window.form.Button1Click(); },
                                   [&](QMessageBox& box) {
                                       title = box.windowTitle();
                                       message = box.text();
                                       icon = box.icon();
                                       buttons = static_cast<int>(box.buttons().size());
                                   }))
            << text;
        EXPECT_EQ(title, "Look") << text;
        EXPECT_EQ(message, "Invalid local IP. Sniffer need a Local IP to sniff traffic on it.");
        EXPECT_EQ(icon, QMessageBox::NoIcon);
        EXPECT_EQ(buttons, 1);
        EXPECT_EQ(window.edit("Edit1")->text(), "") << text;
        EXPECT_EQ(window.edit("Edit3")->text(), "") << text;
        EXPECT_EQ(window.protobox()->currentIndex(), -1) << text;
        EXPECT_FALSE(window.capturing()) << text;
        EXPECT_FALSE(sniffer::AnyThreadAlive()) << text;
        EXPECT_EQ(window.log()->lineCount(), 0u) << text;
    }
}

TEST_F(SnifferPanelTest, StartCompletesTheFieldsAndHandsEverySettingOver) {
    window.edit("Edit4")->setText("10.0.0.1");
    window.edit("Edit5")->setText("10.0.0.2");
    window.edit("Edit3")->setText("70000");
    window.dumpcheck()->setChecked(true);
    Start("1.2.3.4");
    EXPECT_EQ(window.edit("Edit1")->text(), "0");
    EXPECT_EQ(window.protobox()->currentText(), "ANY");
    EXPECT_EQ(SnifferSettings.Protocol, "ANY");
    EXPECT_EQ(SnifferSettings.DestinationIp, "10.0.0.1");
    EXPECT_EQ(SnifferSettings.SourceIp, "10.0.0.2");
    EXPECT_EQ(SnifferSettings.LocalIp, "1.2.3.4");
    EXPECT_EQ(SnifferSettings.DestinationPort, 0);
    EXPECT_EQ(SnifferSettings.SourcePort, 70000);
    EXPECT_EQ(SnifferSettings.DumpEnabled, 1);
    EXPECT_TRUE(std::filesystem::is_directory(files.dumps()));
    EXPECT_EQ(window.settingsEnabled(), std::vector<bool>(8, false));
    EXPECT_TRUE(window.stop()->isEnabled());
    ASSERT_TRUE(window.WaitForLine("Sniffer almost setup ..."));
    EXPECT_EQ(capture.boundAddress(), 0x04030201u);
    EndCapture();
    EXPECT_EQ(window.settingsEnabled(), std::vector<bool>(8, true));

    // The next capture's settings replace all of the last one's.
    window.edit("Edit4")->clear();
    window.edit("Edit5")->clear();
    window.edit("Edit3")->clear();
    window.dumpcheck()->setChecked(false);
    window.protobox()->setCurrentText("UDP");
    Start("127.0.0.1");
    EXPECT_EQ(SnifferSettings.Protocol, "UDP");
    EXPECT_EQ(SnifferSettings.DestinationIp, "");
    EXPECT_EQ(SnifferSettings.SourceIp, "");
    EXPECT_EQ(SnifferSettings.LocalIp, "127.0.0.1");
    EXPECT_EQ(SnifferSettings.SourcePort, 0);
    EXPECT_EQ(SnifferSettings.DumpEnabled, 0);
    EndCapture();
}

TEST_F(SnifferPanelTest, PortTextStrToIntRejectsLeavesThePanelIdle) {
    window.edit("Edit3")->setText("12a"); // as a paste from the context menu can leave it
    window.edit("Edit2")->setText("127.0.0.1");
    EXPECT_THROW(window.form.Button1Click(), EConvertError);
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
    capture.Feed(Datagram());
    ASSERT_TRUE(window.WaitForIdle());
    std::vector<std::string> expected = kSetUpLines;
    expected.insert(expected.end(),
                    {kStopLine, kStopLine, kDatagramLine, kSeparator, "Sniffer stoped."});
    EXPECT_EQ(window.lines(), expected);
    EXPECT_FALSE(capture.socketOpen());
    EXPECT_TRUE(capture.tailsZero());
}

TEST_F(SnifferPanelTest, ClosingTheWindowAsksTheCaptureToStop) {
    Start();
    ASSERT_TRUE(window.WaitForLine("Sniffer almost setup ..."));
    window.form.close();
    capture.Feed(Datagram());
    ASSERT_TRUE(window.WaitForLine("Sniffer stoped."));
    EXPECT_TRUE(window.WaitForIdle());
}

TEST_F(SnifferPanelTest, ANewCaptureAppendsToTheLog) {
    Start();
    EndCapture();
    Start();
    EndCapture();
    const std::vector<std::string> once = {"Starting sniffer...", "Winsock version confirmed ...",
                                           "Sniffer almost setup ...", "Sniffer stoped."};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(window.lines(), twice);
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
        std::vector<std::string> lines;
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
        capture.failure = c.failure;
        const size_t before = window.log()->lineCount();
        Start();
        ASSERT_TRUE(window.WaitForIdle());
        const std::vector<std::string> lines = window.lines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  c.lines);
        EXPECT_FALSE(capture.socketOpen());
    }
}

TEST_F(SnifferPanelTest, AFailedReceiveEndsTheCaptureAndSaysSoOnStandardOutputOnly) {
    testing::internal::CaptureStdout();
    Start();
    capture.Feed(Datagram());
    EndCapture();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "recvfrom() failed.\n");
    std::vector<std::string> expected = kSetUpLines;
    expected.insert(expected.end(), {kDatagramLine, kSeparator, "Sniffer stoped."});
    EXPECT_EQ(window.lines(), expected);
}

TEST(SnifferPostLine, AppendsEachLineBeforeTheSenderGoesOn) {
    FakeCaptureApi capture;
    TempExecutableFiles files;
    FixedClock clock;
    platform::SnifferPlatform platform{capture, files, clock};
    SnifferWindow window(platform);
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
    EXPECT_EQ(window.lines(), (std::vector<std::string>{"first", "", "third"}));
}

// Needs a real raw socket, so that only the bind fails.
TEST(SnifferPanelReal, AnAddressOfNoInterfaceFailsAtBind) {
    platform::SnifferPlatform& system = platform::SystemSnifferPlatform();
    if (!system.capture.OpenRawSocket())
        GTEST_SKIP() << "opening a packet socket needs CAP_NET_RAW";
    TempExecutableFiles files;
    platform::SnifferPlatform platform{system.capture, files, system.clock};
    SnifferWindow window(platform);
    window.edit("Edit2")->setText("999.999.999.999");
    window.form.Button1Click();
    ASSERT_TRUE(window.WaitForIdle());
    EXPECT_EQ(window.lines(),
              (std::vector<std::string>{"Starting sniffer...", "Winsock version confirmed ...",
                                        "Failed setup sniffer on local ip, Is it a valid ip ?"}));
}

// Starts a capture whose receive never returns, closes the main window and
// leaves the way main() does.
void CloseDuringACapture() {
    FakeCaptureApi capture;
    TempExecutableFiles files;
    FixedClock clock;
    platform::SnifferPlatform platform{capture, files, clock};
    platform::Platform os{platform::SystemPlatform().processes, platform::SystemPlatform().sockets,
                          platform};
    TForm1 form(os);
    form.show();
    form.findChild<QLineEdit*>("Edit2")->setText("127.0.0.1");
    form.Button1Click();
    WaitUntil([&] { return form.findChild<SnifferLog*>("snifflog")->lineCount() == 3; });
    QTimer::singleShot(0, &form, &QWidget::close);
    ExitIfCaptureRunning(QApplication::exec());
    std::exit(1);
}

TEST(SnifferPanelDeathTest, ClosingDuringACaptureEndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CloseDuringACapture(), testing::ExitedWithCode(0), "");
}
