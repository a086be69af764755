// Header clicks sort a list once; a rebuild shows table order again.

#include "ListView.h"
#include "Main.h"
#include "support/FakePlatform.h"
#include "support/ModalWindows.h"

#include <QAction>
#include <QHeaderView>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ListSorting : testing::Test {
    FakePlatform fake;
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        fake.processes.add(7, Running("/usr/sbin/sshd"));
        fake.processes.add(300, Running("/usr/bin/Xvfb"));
        fake.processes.add(12, Running("/usr/bin/_helper"));
        fake.sockets.tcp =
            std::vector<platform::MibTcpRowOwnerPid>{{2, 0, Port(22), 0, 0, 7},
                                                     {2, 0, Port(6000), 0, 0, 300},
                                                     {5, 0, Port(1), 0, Port(2), 12}};
        fake.sockets.udp = std::vector<platform::MibUdpRowOwnerPid>{{0, Port(53), 12}};
        form = std::make_unique<TForm1>(fake.os);
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    ListView& List(const char* name) { return *form->findChild<ListView*>(name); }

    std::vector<std::string> Column(const char* list, int column) {
        std::vector<std::string> texts;
        for (const auto& row : List(list).rows())
            texts.push_back(row.column(column));
        return texts;
    }

    void ClickHeader(const char* list, int column) {
        QHeaderView* header = List(list).horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
};

} // namespace

TEST_F(ListSorting, AHeaderClickSortsOnceAndRefreshRestoresTableOrder) {
    ASSERT_EQ(Column("ListView1", 0), (std::vector<std::string>{"7", "300", "12"}));
    ClickHeader("ListView1", 0);
    EXPECT_EQ(Column("ListView1", 0), (std::vector<std::string>{"300", "12", "7"}));
    ClickHeader("ListView1", 1);
    EXPECT_EQ(Column("ListView1", 1), (std::vector<std::string>{"sshd", "Xvfb", "_helper"}));
    ClickHeader("ListView1", 1);
    EXPECT_EQ(Column("ListView1", 1), (std::vector<std::string>{"sshd", "Xvfb", "_helper"}))
        << "a second click sorts the same way again";
    form->findChild<QAction*>("Refresh1")->trigger();
    EXPECT_EQ(Column("ListView1", 0), (std::vector<std::string>{"7", "300", "12"}));
}

TEST_F(ListSorting, TheSelectionFollowsItsRow) {
    ListView& list = List("ListView1");
    list.selectRow(0);
    ClickHeader("ListView1", 0);
    EXPECT_EQ(list.selectedCaption(), "7");
}

TEST_F(ListSorting, ConnectionsSortByPortWithUdpRowsPresent) {
    form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    ASSERT_EQ(List("ListView3").rows().size(), 4u);
    ClickHeader("ListView3", 5);
    ClickHeader("ListView3", 3);
    std::vector<std::string> pids = Column("ListView3", 0);
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<std::string>{"12", "12", "300", "7"}));
}

TEST_F(ListSorting, DoubleClickOnAListenerOpensItsOwnersModules) {
    form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    ListView& listeners = List("ListView2");
    ASSERT_EQ(listeners.rows().size(), 2u);
    const QPoint cell = listeners.visualRect(listeners.model()->index(1, 2)).center();
    QString title;
    EXPECT_TRUE(WithModalWindow(
        [&] {
            QTest::mouseClick(listeners.viewport(), Qt::LeftButton, {}, cell);
            QTest::mouseDClick(listeners.viewport(), Qt::LeftButton, {}, cell);
        },
        [&](QWidget& window) { title = window.windowTitle(); }));
    EXPECT_EQ(title, "Modules in use of PID 300");
}
