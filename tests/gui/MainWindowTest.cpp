// The main window over made-up tables: when the lists are rebuilt, header
// clicks, the windows that open from it, and the find bar and context menu
// of the lists.

#include "app/Main.h"
#include "lists/ListView.h"
#include "support/EventWait.h"
#include "support/FakePlatform.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
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

    // Right-clicks the shown row of list.
    static void RightClick(ListView& list, int row) {
        const QPoint at = list.visualRect(list.model()->index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &event);
    }
};

// Answers what open brings up: a context menu chooses the item named choose,
// a message box is answered Yes if it asks, a file dialog takes savePath, any
// other window is closed. shown notes each menu's items, each message, and
// each other window's title with the number of rows it lists.
struct Answers {
    QString choose = {};
    QString savePath = {};
    QStringList shown = {};

    void run(const std::function<void()>& open) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [this] { answer(); });
        poll.start(5);
        open();
    }

    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            chooseFrom(*menu);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            shown << box->text();
            if (auto* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->close();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialog->selectFile(savePath);
            static_cast<QDialog*>(dialog)->accept();
        } else if (modal) {
            const auto* rows = modal->findChild<ListView*>("ListView1");
            shown << modal->windowTitle() +
                         (rows ? ": " + QString::number(rows->rows().size()) : "");
            modal->close();
        }
    }

    // The chosen item runs once this answer has returned, so that what it
    // opens is answered too.
    void chooseFrom(QMenu& menu) {
        QStringList items;
        for (QAction* item : menu.actions()) {
            const char* state = item->isChecked() ? " (on)" : item->isEnabled() ? "" : " (off)";
            items << (item->isSeparator() ? "-" : item->text()) + state;
            if (!item->isSeparator() && item->text() == choose)
                menu.setActiveAction(item);
        }
        shown << items.join(", ");
        const int key = menu.activeAction() ? Qt::Key_Return : Qt::Key_Escape;
        QCoreApplication::postEvent(&menu, new QKeyEvent(QEvent::KeyPress, key, {}));
    }
};

// The records of a CSV text, each a list of fields (RFC 4180).
std::vector<Texts> ReadCsv(const std::string& text) {
    std::vector<Texts> records(1, Texts(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' && quoted && text.compare(i, 2, "\"\"") == 0)
            records.back().back() += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            records.back().emplace_back();
        else if (!quoted && text.compare(i, 2, "\r\n") == 0 && ++i)
            records.emplace_back(1);
        else
            records.back().back() += c;
    }
    records.pop_back(); // after the last CRLF
    return records;
}

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

// A click on the PID header sorts each list, a second the same way again;
// Refresh brings table order back, with none of the rows before.
TEST_F(MainWindow, AHeaderClickSortsEachListAndRefreshRestoresTableOrder) {
    const Texts tableOrder[] = {{"7", "300", "12"}, {"7", "300"}, {"7", "300", "12", "12"}};
    const Texts byPid[] = {{"300", "12", "7"}, {"300", "7"}, {"300", "12", "12", "7"}};
    for (int tab = 0; tab < 3; ++tab) {
        Tabs().setCurrentIndex(tab);
        const std::string list = "ListView" + std::to_string(tab + 1);
        QHeaderView* header = List(list.c_str()).horizontalHeader();
        for (int click = 0; click < 2; ++click) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(5, header->height() / 2));
            EXPECT_EQ(Column(list.c_str(), 0), byPid[tab]) << list;
        }
        Action("Refresh1").trigger();
        EXPECT_EQ(Column(list.c_str(), 0), tableOrder[tab]) << list;
    }
}

// With live refresh on, each rebuild shows the new rows sorted as the user
// chose, the same endpoint selected and the list scrolled as it was; a
// rebuild by hand still shows table order and no selection.
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
    QHeaderView* header = list.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
    QApplication::processEvents(); // lays the rows out
    list.verticalScrollBar()->setValue(100);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualRect(list.model()->index(105, 2)).center());
    ASSERT_EQ(list.selectedRow()->column(3), "1194");
    ASSERT_EQ(list.verticalScrollBar()->value(), 100);

    form->SetLiveRefresh(true);
    auto* timer = form->findChild<QTimer*>("liveRefresh");
    EXPECT_EQ(timer->interval(), 2000);
    timer->setInterval(1);
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
    QHeaderView* header = List("ListView1").horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    processes.add(4000, Running("/opt/huge", uint64_t{1} << 42));
    form->SetLiveRefresh(true);
    form->findChild<QTimer*>("liveRefresh")->setInterval(1);
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

// A double-click on a Listeners row opens the Modules window of its PID, also
// when the find bar hides the rows before it; About opens every time.
TEST_F(MainWindow, DoubleClickOpensTheModulesOfTheRowsProcessAndAboutOpensEveryTime) {
    Tabs().setCurrentIndex(1);
    ListView& list = List("ListView2");
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "6000");
    const QPoint cell = list.visualRect(list.model()->index(0, 2)).center();
    Answers answers;
    answers.run([&] {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    });
    for (int i = 0; i < 2; ++i)
        answers.run([&] { Action("About1").trigger(); });
    EXPECT_EQ(answers.shown, QStringList({"Modules in use of PID 300: 2", "About", "About"}));
}

// With every option at its default the menus, toolbar, columns and status
// bar are as they were, and each list fills its tab.
TEST_F(MainWindow, AtItsDefaultsTheWindowIsUnchanged) {
    QStringList window;
    for (QAction* menu : form->menuBar()->actions()) {
        window << menu->text() + ":";
        for (QAction* item : menu->menu()->actions())
            window << (item->isSeparator() ? "-" : item->text() + item->shortcut().toString());
    }
    const auto* toolbar = form->findChild<QToolBar*>("ToolBar1");
    window << QString::number(toolbar->actions().size()) << Status();
    for (int tab = 0; tab < 3; ++tab) {
        Tabs().setCurrentIndex(tab);
        auto& list = *Tabs().currentWidget()->findChild<ListView*>();
        window << QString::number(list.geometry() == Tabs().currentWidget()->rect());
        for (int i = 0; i < list.model()->columnCount(); ++i)
            window << list.model()->headerData(i, Qt::Horizontal).toString() + " " +
                          QString::number(list.columnWidth(i));
    }
    EXPECT_EQ(window.join(", "),
              "File:, Refresh, -, Exit, Help:, About, 2, , "
              "1, PID 50, Name 125, Memory (kb) 80, Peak Memory (kb) 80, File Name 300, "
              "1, PID 50, Local IP 100, Port 50, Process 125, File Name 300, "
              "1, PID 50, PROTO 50, Local IP 100, L Port 50, Remote IP 100, R Port 50, "
              "STATE 100, Process 125, FileName 300");
}

// Ctrl+F opens the find bar; typing keeps the rows that hold the text in any
// column, ignoring case, across a rebuild and under a header click, and the
// status bar counts them while the bar is open. Escape brings all back, in
// the order of the sort. A screen reader names the bar's close button.
TEST_F(MainWindow, FindBarFiltersAsYouTypeAndAcrossRebuilds) {
    ListView& list = List("ListView1");
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "xV");
    EXPECT_EQ(Column("ListView1", 0), Texts{"300"});
    EXPECT_EQ(Status(), "1 of 3 rows");
    processes.add(3000, Running("/opt/XV"));
    Action("Refresh1").trigger();
    QHeaderView* header = list.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(5, header->height() / 2));
    EXPECT_EQ(Column("ListView1", 0), (Texts{"3000", "300"}));
    EXPECT_EQ(Status(), "2 of 4 rows");
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Escape);
    EXPECT_EQ(Column("ListView1", 0), (Texts{"3000", "300", "12", "7"}));
    EXPECT_EQ(Status(), "");
    auto* close = list.parentWidget()->findChild<QWidget*>("FindBar")->findChild<QToolButton*>();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Name),
              "Close find bar");
}

// The socket lists' menus also hold the IPv6 option; a row of PID 0 has no
// End process; the Menu key opens the menu of the selected row. An option
// turned on is on at the next start.
TEST_F(MainWindow, SocketListMenusAndRememberedOptions) {
    sockets.tcp->push_back({2, 0, htons(25), 0, 0, 0});
    Tabs().setCurrentIndex(1);
    Answers answers{"Refresh every 2 seconds"};
    answers.run([&] { RightClick(List("ListView2"), 2); });
    form = std::make_unique<TForm1>(os);
    form->findChild<QTabWidget*>()->setCurrentIndex(2);
    List("ListView3").selectRow(0);
    answers.choose.clear();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {}, {});
    answers.run([&] { QApplication::sendEvent(&List("ListView3"), &menuKey); });
    const QString rowItems = "Modules..., -, Copy, Export list as CSV..., -, ";
    const QString options =
        "Include IPv6 endpoints, Include other network namespaces, Refresh every 2 seconds";
    EXPECT_EQ(answers.shown, QStringList({rowItems + options + ", Show traffic, Show service",
                                          rowItems + "End process..., -, " + options +
                                              " (on), Show traffic, Show service"}));
}

// Two processes listen on one port (SO_REUSEPORT): a rebuild while the menu
// of the second is open keeps that row selected, and the menu acts on it.
TEST_F(MainWindow, TheMenuActsOnItsRowAndARebuildKeepsItSelected) {
    sockets.tcp->push_back({2, 0, htons(22), 0, 0, 300});
    Tabs().setCurrentIndex(1);
    std::string reselected;
    QTimer::singleShot(0, [&] {
        form->SetIncludeIpv6(true);
        reselected = List("ListView2").selectedRow()->caption;
    });
    Answers answers{"End process..."};
    answers.run([&] { RightClick(List("ListView2"), 2); });
    EXPECT_EQ(reselected, "300");
    EXPECT_EQ(answers.shown.last(), "Process 300 (Xvfb) has already ended.");
}

// Copy gives the selected row's cells; the CSV of rows whose name and path
// hold a comma, quotes, a line break and bytes that are not UTF-8 reads back
// equal to the rows, header first. A write cut short says why and leaves no
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
    answers.run([&] { RightClick(list, 0); });
    std::vector<Texts> rows = {{"PID", "Name", "Memory (kb)", "Peak Memory (kb)", "File Name"}};
    for (const ListRow& row : list.rows())
        rows.push_back({row.caption, row.subItems[0], "4", "8", row.subItems[3]});
    EXPECT_EQ(ReadCsv(FileText(answers.savePath)), rows);
    EXPECT_EQ(rows.back().back(), odd);

    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit cut{64, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &cut);
    const auto onSignal = std::signal(SIGXFSZ, SIG_IGN);
    answers.savePath = dir.filePath("cut.csv");
    answers.run([&] { RightClick(list, 0); });
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, onSignal);
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
    QProcess plain;
    QProcess stubborn;
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
    for (const auto& [row, shown] : cases) {
        Answers answers{"End process..."};
        answers.run([&] { RightClick(List("ListView1"), row); });
        EXPECT_EQ(answers.shown.takeFirst(),
                  "Modules..., -, Copy, Export list as CSV..., -, "
                  "End process..., -, Refresh every 2 seconds, Show traffic, "
                  "Show service");
        EXPECT_EQ(answers.shown, shown);
    }
    for (QProcess* child : {&plain, &stubborn}) {
        EXPECT_TRUE(WaitUntil([child] { return child->state() == QProcess::NotRunning; }));
        EXPECT_EQ(child->exitStatus(), QProcess::CrashExit);
    }
    EXPECT_EQ(processes.enumerations, 7) << "a rebuild after each process that ended";
}

// The toolbar shows images only, with no hints, and no right-click on the
// menu bar or toolbar offers a menu.
TEST_F(MainWindow, ToolbarButtonsGiveNoHintsAndTheWindowNoContextMenu) {
    auto* toolBar = form->findChild<QToolBar*>("ToolBar1");
    for (const char* name : {"ToolButton1", "ToolButton2"}) {
        QWidget* button = toolBar->widgetForAction(&Action(name));
        QHelpEvent hover(QEvent::ToolTip, {4, 4}, button->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(button, &hover);
        EXPECT_FALSE(QToolTip::isVisible()) << name;
    }
    Answers answers; // notes a menu run modally, the last check one left open
    for (QWidget* bar : std::initializer_list<QWidget*>{form->menuBar(), toolBar}) {
        QContextMenuEvent click(QContextMenuEvent::Mouse, {4, 4}, bar->mapToGlobal(QPoint(4, 4)));
        answers.run([&] { QApplication::sendEvent(bar, &click); });
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    }
    EXPECT_EQ(answers.shown, QStringList());
}
