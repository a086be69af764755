// The main window over made-up tables: when the lists are rebuilt, header
// clicks, and the windows that open from it.

#include "ListView.h"
#include "Main.h"
#include "support/EventWait.h"
#include "support/FakePlatform.h"

#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

struct MainWindow : testing::Test {
    FakeProcessApi processes;
    FakeSocketTables sockets;
    platform::Platform os{processes, sockets};
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        processes.add(7, Running("/usr/sbin/sshd"));
        processes.add(300, Running("/usr/bin/Xvfb"));
        processes.add(12, Running("/usr/bin/_helper"));
        sockets.tcp = std::vector<platform::MibTcpRowOwnerPid>{
            {2, 0, htons(22), 0, 0, 7}, {2, 0, htons(6000), 0, 0, 300}, {5, 0, htons(1), 0, 0, 12}};
        sockets.udp = std::vector<platform::MibUdpRowOwnerPid>{{0, htons(53), 12}};
        form = std::make_unique<TForm1>(os);
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    ListView& List(const char* name) { return *form->findChild<ListView*>(name); }
    QAction& Action(const char* name) { return *form->findChild<QAction*>(name); }
    QTabWidget& Tabs() { return *form->findChild<QTabWidget*>("PageControl1"); }

    Texts Column(const char* list, int column) {
        Texts texts;
        for (const auto& row : List(list).rows())
            texts.push_back(row.column(column));
        return texts;
    }
};

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

// A double-click on a Listeners row opens the Modules window of its PID;
// About opens every time.
TEST_F(MainWindow, DoubleClickOpensTheModulesOfTheRowsProcessAndAboutOpensEveryTime) {
    Tabs().setCurrentIndex(1);
    ListView& list = List("ListView2");
    const QPoint cell = list.visualRect(list.model()->index(1, 2)).center();
    QStringList shown; // each window's title, and the number of rows it lists
    const auto inspect = [&](QWidget& window) {
        const auto* rows = window.findChild<ListView*>("ListView1");
        shown << window.windowTitle() + (rows ? ": " + QString::number(rows->rows().size()) : "");
    };
    EXPECT_TRUE(WithModalWindow(
        [&] {
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell);
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
        },
        inspect));
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(WithModalWindow([&] { Action("About1").trigger(); }, inspect));
    EXPECT_EQ(shown, QStringList({"Modules in use of PID 300: 2", "About", "About"}));
}
