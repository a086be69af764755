// The main window over made-up tables: when the lists are rebuilt, header
// clicks, the windows that open from it, and the find bar and context menu
// of the lists.

#include "app/Main.h"
#include "lists/ListTools.h"
#include "lists/ListView.h"
#include "support/EventWait.h"
#include "support/FakePlatform.h"
#include "support/FileSizeLimit.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using Texts = std::vector<std::string>;

struct MainWindow : testing::Test {
    FakeProcessApi processes;
    FakeSocketTables sockets;
    FakeProcessControl control;
    platform::Platform os{processes, sockets, platform::SystemSnifferPlatform(), control};
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        processes.add(7, Running("/usr/sbin/sshd"));
        processes.add(300, Running("/usr/bin/Xvfb"));
        processes.add(12, Running("/usr/bin/_helper"));
        sockets.tcp = std::vector<platform::MibTcpRowOwnerPid>{
            {2, 0, htons(22), 0, 0, 7}, {2, 0, htons(6000), 0, 0, 300}, {5, 0, htons(1), 0, 0, 12}};
        sockets.udp = std::vector<platform::MibUdpRowOwnerPid>{{0, htons(53), 12}};
        QSettings("Quillmark", "Quillmark").clear();
        form = std::make_unique<TForm1>(os);
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    ListView& List(const char* name) { return *form->findChild<ListView*>(name); }
    QAction& Action(const char* name) { return *form->findChild<QAction*>(name); }
    QTabWidget& Tabs() { return *form->findChild<QTabWidget*>("PageControl1"); }

    // The cells of the rows shown, in the order shown.
    Texts Column(const char* list, int column) {
        Texts texts;
        for (int i = 0; i < List(list).shownRowCount(); ++i)
            texts.push_back(List(list).shownRow(i).column(column));
        return texts;
    }

    QString Status() { return form->statusBar()->currentMessage(); }

    static void ClickHeader(ListView& list, int column) {
        QHeaderView* header = list.horizontalHeader();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    }
    void StartLiveRefresh() {
        form->SetLiveRefresh(true);
        form->findChild<QTimer*>("liveRefresh")->setInterval(1);
    }

    // Right-clicks the shown row of list.
    static void RightClick(ListView& list, int row) {
        const QPoint at = list.visualRect(list.model()->index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &event);
    }
};

std::string FileText(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace

TEST_F(MainWindow, ActivationAndEveryTriggerRebuildTheActiveListButNotOnTheSnifferTab) {
    EXPECT_EQ(Column("ListView1", 0), (Texts{"7", "300", "12"})) << "first activation";
    Action("ToolButton1").trigger();
    Action("Refresh1").trigger();
    Tabs().setCurrentIndex(1);
    Tabs().setCurrentIndex(0);
    EXPECT_EQ(processes.enumerations, 4) << "toolbar button 1, File > Refresh, tab change";
    Tabs().setCurrentIndex(3);
    Action("ToolButton1").trigger();
    Action("Refresh1").trigger();
    EXPECT_EQ(processes.enumerations, 4) << "nothing on the Sniffer tab";

    // Coming back from another application keeps the user's sort and scroll
    // position; coming back from one of our own windows rebuilds.
    Tabs().setCurrentIndex(0);
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(processes.enumerations, 5);
    QDialog other(form.get());
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(processes.enumerations, 6);
}

// A second click on a header sorts the same way again. With live refresh on,
// each rebuild shows the new rows sorted as the user chose, the same endpoint
// selected and the list scrolled as it was; a rebuild by hand still shows
// table order and no selection.
TEST_F(MainWindow, LiveRefreshKeepsTheSortTheSelectionAndTheScrollPosition) {
    const auto connectionsOnPorts = [&](uint16_t from, uint16_t to) {
        const std::lock_guard<std::mutex> hold(sockets.lock);
        sockets.tcp->clear();
        sockets.udp->clear();
        for (uint16_t port = from; port < to; ++port)
            sockets.tcp->push_back({5, inet_addr("127.0.0.1"), htons(port), 0, htons(80), 7});
    };
    connectionsOnPorts(1000, 1300);
    Tabs().setCurrentIndex(2);
    ListView& list = List("ListView3");
    ClickHeader(list, 3);
    ClickHeader(list, 3);
    QApplication::processEvents(); // lays the rows out
    list.verticalScrollBar()->setValue(100);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualRect(list.model()->index(105, 2)).center());
    ASSERT_EQ(list.selectedRow()->column(3), "1194");
    ASSERT_EQ(list.verticalScrollBar()->value(), 100);

    StartLiveRefresh();
    const struct { uint16_t from, to; } rebuilds[] = {{1000, 1400}, {1100, 1250}};
    for (const auto& rebuild : rebuilds) {
        connectionsOnPorts(rebuild.from, rebuild.to);
        ASSERT_TRUE(
            WaitUntil([&] { return list.rows().size() == size_t{rebuild.to} - rebuild.from; }));
        const Texts ports = Column("ListView3", 3);
        EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(),
                                   [](auto& a, auto& b) { return std::stoi(a) > std::stoi(b); }));
        ASSERT_NE(list.selectedRow(), nullptr);
        EXPECT_EQ(list.selectedRow()->column(3), "1194");
        EXPECT_EQ(list.verticalScrollBar()->value(), 100);
    }
    form->SetLiveRefresh(false);
    Action("Refresh1").trigger();
    EXPECT_EQ(Column("ListView3", 3).front(), "1100");
    EXPECT_EQ(list.selectedRow(), nullptr);
}

// A live refresh whose sort fails (a working set above 2 TiB is past
// StrToInt) shows one error dialog at a time and waits while it is open.
TEST_F(MainWindow, AFailingLiveRefreshShowsOneErrorDialogAndWaitsWhileItIsOpen) {
    ClickHeader(List("ListView1"), 2);
    processes.add(4000, Running("/opt/huge", uint64_t{1} << 42));
    StartLiveRefresh();
    int watched = 0, mostShown = 0, opened = -1, whileShown = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const auto boxes = form->findChildren<QMessageBox*>();
        mostShown = std::max(mostShown, static_cast<int>(boxes.size()));
        if (!boxes.isEmpty() && ++watched == 1)
            opened = processes.enumerations;
        if (watched == 20) {
            whileShown = processes.enumerations;
            form->SetLiveRefresh(false);
            for (QMessageBox* box : boxes)
                box->close();
        }
    });
    watch.start(1);
    ASSERT_TRUE(WaitUntil([&] { return whileShown >= 0; }));
    EXPECT_EQ(mostShown, 1);
    EXPECT_EQ(whileShown, opened);
}

// Ctrl+F opens the find bar; typing keeps the rows that hold the text in any
// column, ignoring case, across a rebuild and under a header click, and the
// status bar counts them while the bar is open; a double-click opens the
// Modules window of the row's PID, also when the bar hides the rows before
// it. Escape brings all back, in the order of the sort. A screen reader
// names the bar's close button.
TEST_F(MainWindow, FindBarFiltersAsYouTypeAndAcrossRebuilds) {
    Tabs().setCurrentIndex(1);
    ListView& list = List("ListView2");
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "xV");
    EXPECT_EQ(Column("ListView2", 0), Texts{"300"});
    EXPECT_EQ(Status(), "1 of 2 rows");
    const QPoint cell = list.visualRect(list.model()->index(0, 2)).center();
    Answers answers;
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(answers.shown, QStringList({"Modules in use of PID 300: 2"}));
    QApplication::setActiveWindow(form.get()); // the Modules window had it
    processes.add(3000, Running("/opt/XV"));
    sockets.tcp->push_back({2, 0, htons(80), 0, 0, 3000});
    Action("Refresh1").trigger();
    ClickHeader(list, 0);
    EXPECT_EQ(Column("ListView2", 0), (Texts{"3000", "300"}));
    EXPECT_EQ(Status(), "2 of 3 rows");
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Escape);
    EXPECT_EQ(Column("ListView2", 0), (Texts{"3000", "300", "7"}));
    EXPECT_EQ(Status(), "");
    auto* close = list.parentWidget()->findChild<QWidget*>("FindBar")->findChild<QToolButton*>();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Name),
              "Close find bar");
}

// A row of PID 0 has no End process. Two processes listen on one port
// (SO_REUSEPORT): a rebuild while the menu of the second is open keeps that
// row selected, and the menu acts on it. The Menu key opens the menu of the
// selected row. An option turned on is on at the next start.
TEST_F(MainWindow, TheMenuActsOnItsRowAndOptionsAreRemembered) {
    sockets.tcp->push_back({2, 0, htons(22), 0, 0, 300});
    sockets.tcp->push_back({2, 0, htons(25), 0, 0, 0});
    Tabs().setCurrentIndex(1);
    std::string reselected;
    QTimer::singleShot(0, [&] {
        form->SetIncludeIpv6(true);
        reselected = List("ListView2").selectedRow()->caption;
    });
    Answers answers{"End process..."};
    RightClick(List("ListView2"), 2);
    EXPECT_EQ(reselected, "300");
    EXPECT_EQ(answers.shown.last(), "Process 300 (Xvfb) has already ended.");
    answers.choose = "Refresh every 2 seconds";
    RightClick(List("ListView2"), 3);
    form = std::make_unique<TForm1>(os);
    form->findChild<QTabWidget*>()->setCurrentIndex(2);
    List("ListView3").selectRow(0);
    answers.choose.clear();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {}, {});
    QApplication::sendEvent(&List("ListView3"), &menuKey);
    ASSERT_EQ(answers.shown.size(), 4);
    EXPECT_FALSE(answers.shown[2].contains("End process..."));
    EXPECT_TRUE(answers.shown[3].contains("End process..."));
    EXPECT_TRUE(answers.shown[3].contains("Refresh every 2 seconds (on)"));
}

// Copy gives the selected row's cells; the CSV quotes a name and path that
// hold a comma, quotes, a line break and bytes that are not UTF-8, and keeps
// every byte of them. A write cut short says why and leaves no
// file.
TEST_F(MainWindow, CopyAndCsvExportKeepEveryCell) {
    const std::string odd = "/tmp/a,b \"c\"\r\nd\xff\xfe";
    processes.add(40, Running(odd));
    Action("Refresh1").trigger();
    ListView& list = List("ListView1");
    list.selectRow(3);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromLocal8Bit("40\t" + odd.substr(5) + "\t4\t8\t" + odd));

    QTemporaryDir dir;
    Answers answers{"Export list as CSV...", dir.filePath("processes.csv")};
    RightClick(list, 0);
    const std::string quoted = "\"/tmp/a,b \"\"c\"\"\r\nd\xff\xfe\"";
    EXPECT_EQ(FileText(answers.savePath),
              "PID,Name,Memory (kb),Peak Memory (kb),File Name\r\n"
              "7,sshd,4,8,/usr/sbin/sshd\r\n300,Xvfb,4,8,/usr/bin/Xvfb\r\n"
              "12,_helper,4,8,/usr/bin/_helper\r\n40,\"" +
                  quoted.substr(6) + ",4,8," + quoted + "\r\n");
    answers.savePath = dir.filePath("cut.csv");
    {
        const FileSizeLimit cut(64);
        RightClick(list, 0);
    }
    EXPECT_EQ(answers.shown.last(),
              "The list could not be written to " + answers.savePath + ": File too large");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"processes.csv"});
}

// End process ends a child of the test with SIGTERM, and one that ignores
// SIGTERM with SIGKILL once the user agrees; the fake control refuses one
// process and has another end before it is opened, and a PID that another
// program took over since the rebuild, by name or by start time, is not
// signalled. Asked to end itself, the program says so.
TEST_F(MainWindow, EndProcessEndsChildrenAndSaysWhyNot) {
    QProcess plain, stubborn;
    plain.start("sleep", {"60"});
    stubborn.start("sh", {"-c", "trap '' TERM; exec sleep 60"});
    ASSERT_TRUE(plain.waitForStarted() && stubborn.waitForStarted());
    const QString pids[] = {QString::number(plain.processId()),
                            QString::number(stubborn.processId())};
    ASSERT_TRUE(WaitUntil([&] { // TERM is ignored once sh has made way for sleep
        return FileText("/proc/" + pids[1] + "/comm") == "sleep\n";
    }));
    for (const QString& pid : pids) {
        const auto real = platform::SystemPlatform().processes.OpenProcess(pid.toUInt());
        processes.add(pid.toUInt(), Running("/usr/bin/sleep", 4096, 8192, real->StartTime()));
        control.real.insert(pid.toUInt());
    }
    const auto ownPid = static_cast<uint32_t>(getpid());
    const QString self = QString::number(ownPid);
    processes.add(ownPid, Running("/usr/bin/quillmark"));
    processes.add(13, Running("/usr/sbin/sshd", 4096, 8192, kStartTime + 1));
    control.answers = {{7, platform::SignalResult::NotPermitted},
                       {12, platform::SignalResult::Sent},
                       {13, platform::SignalResult::Sent},
                       {ownPid, platform::SignalResult::NotPermitted}};
    Action("Refresh1").trigger();
    processes.processes[12].exe = "/usr/bin/other";

    const std::pair<int, QStringList> cases[] = {
        {2, {"Process 12 (_helper) has already ended."}},
        {0,
         {"End process 7 (sshd)?", "You may not end process 7 (sshd): it belongs to another "
                                   "user."}},
        {1, {"Process 300 (Xvfb) has already ended."}},
        {3, {"End process " + pids[0] + " (sleep)?"}},
        {4,
         {"End process " + pids[1] + " (sleep)?",
          "Process " + pids[1] +
              " (sleep) is still running. End it at once with SIGKILL? It "
              "gets no chance to save its work."}},
        {5,
         {"End process " + self + " (quillmark)?\n\nThis is Quillmark itself.",
          "You may not end process " + self + " (quillmark): it belongs to another user."}},
        {6, {"Process 13 (sshd) has already ended."}},
    };
    // The one that ignores SIGTERM gets no grace: it cannot have ended.
    auto* tools = List("ListView1").findChild<ListTools*>();
    for (const auto& [row, shown] : cases) {
        tools->setEndProcessGrace(row == 4 ? std::chrono::milliseconds(0) : kEndProcessGrace);
        Answers answers{"End process..."};
        RightClick(List("ListView1"), row);
        answers.shown.removeFirst(); // the menu
        EXPECT_EQ(answers.shown, shown);
    }
    for (QProcess* child : {&plain, &stubborn}) {
        EXPECT_TRUE(WaitUntil([child] { return child->state() == QProcess::NotRunning; }));
        EXPECT_EQ(child->exitStatus(), QProcess::CrashExit);
    }
    EXPECT_EQ(processes.enumerations, 7) << "a rebuild after each process that ended";
}
