// The main window as laid out: captions, columns, panel texts and states.

#include "ListView.h"
#include "Main.h"
#include "support/FakePlatform.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

template <typename T> T& Child(QWidget& form, const char* name) {
    T* child = form.findChild<T*>(name);
    if (!child)
        throw std::runtime_error(std::string("no control ") + name);
    return *child;
}

std::vector<std::pair<std::string, int>> Columns(ListView& list) {
    std::vector<std::pair<std::string, int>> columns;
    for (int i = 0; i < list.model()->columnCount(); ++i)
        columns.emplace_back(list.model()->headerData(i, Qt::Horizontal).toString().toStdString(),
                             list.columnWidth(i));
    return columns;
}

struct MainWindowLayout : testing::Test {
    FakePlatform fake;
    TForm1 form{fake.os};
};

} // namespace

TEST_F(MainWindowLayout, FrameMenusAndTabs) {
    EXPECT_EQ(form.windowTitle(), "Quillmark");
    EXPECT_EQ(form.size(), QSize(643, 500));
    auto& tabs = Child<QTabWidget>(form, "PageControl1");
    ASSERT_EQ(tabs.count(), 4);
    EXPECT_EQ(tabs.currentIndex(), 0);
    const char* captions[] = {"Processes", "Listeners", "Connections", "Sniffer"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(tabs.tabText(i), captions[i]);

    auto& toolbar = Child<QToolBar>(form, "ToolBar1");
    ASSERT_EQ(toolbar.actions().size(), 2);
    for (QAction* button : toolbar.actions())
        EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(toolbar.toolButtonStyle(), Qt::ToolButtonIconOnly);

    QStringList menu;
    for (QAction* top : form.menuBar()->actions()) {
        menu << top->text();
        for (QAction* item : top->menu()->actions()) {
            menu << (item->isSeparator() ? "-" : item->text());
            EXPECT_TRUE(item->shortcut().isEmpty());
        }
    }
    EXPECT_EQ(menu, QStringList({"File", "Refresh", "-", "Exit", "Help", "About"}));
    EXPECT_TRUE(form.statusBar()->currentMessage().isEmpty());
}

TEST_F(MainWindowLayout, ListColumnsAndWidths) {
    using Cols = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(Columns(Child<ListView>(form, "ListView1")), (Cols{{"PID", 50},
                                                                 {"Name", 125},
                                                                 {"Memory (kb)", 80},
                                                                 {"Peak Memory (kb)", 80},
                                                                 {"File Name", 300}}));
    EXPECT_EQ(
        Columns(Child<ListView>(form, "ListView2")),
        (Cols{{"PID", 50}, {"Local IP", 100}, {"Port", 50}, {"Process", 125}, {"File Name", 300}}));
    EXPECT_EQ(Columns(Child<ListView>(form, "ListView3")), (Cols{{"PID", 50},
                                                                 {"PROTO", 50},
                                                                 {"Local IP", 100},
                                                                 {"L Port", 50},
                                                                 {"Remote IP", 100},
                                                                 {"R Port", 50},
                                                                 {"STATE", 100},
                                                                 {"Process", 125},
                                                                 {"FileName", 300}}));
    for (const char* name : {"ListView1", "ListView2", "ListView3"}) {
        auto& list = Child<ListView>(form, name);
        EXPECT_TRUE(list.showGrid());
        EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_FALSE(list.isSortingEnabled());
    }
}

TEST_F(MainWindowLayout, SnifferPanelTextsAndInitialStates) {
    const std::pair<const char*, const char*> texts[] = {
        {"Label6", "Warning: Please do not leave this sniffer running for a very long time on "
                   "production servers. It is not designed for this."},
        {"Label2", "Local IP (Required) sniffer will sniff traffic of this ip"},
        {"Label7", "Local IP is required, All other Fields are optional."},
        {"Label1", "Protocol"},
        {"Label8", "Source IP"},
        {"Label4", "S. Port"},
        {"Label3", "Destination IP"},
        {"Label5", "D. Port"},
        {"Label9", "This option is usefull to monitor only plain text protocols like smtp, http, "
                   "ftp, pop, imap, telnet etc. Most of the spywares and viruses also send plain "
                   "text data in packets"}};
    for (const auto& [name, text] : texts)
        EXPECT_EQ(Child<QLabel>(form, name).text(), text) << name;
    EXPECT_EQ(Child<QCheckBox>(form, "dumpcheck").text(),
              "Dump the printable packet data  in [installdir]\\dumps\\dump.log (Check your local "
              "Privacy and Legal laws before using)");
    EXPECT_FALSE(Child<QCheckBox>(form, "dumpcheck").isChecked());
    auto& protobox = Child<QComboBox>(form, "protobox");
    EXPECT_EQ(protobox.currentIndex(), -1);
    EXPECT_TRUE(protobox.currentText().isEmpty());
    QStringList items;
    for (int i = 0; i < protobox.count(); ++i)
        items << protobox.itemText(i);
    EXPECT_EQ(items, QStringList({"ANY", "TCP", "UDP", "ICMP", "IGMP"}));
    for (const char* edit : {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5"})
        EXPECT_TRUE(Child<QLineEdit>(form, edit).text().isEmpty()) << edit;
    EXPECT_EQ(Child<QPushButton>(form, "Button1").text(), "Start");
    EXPECT_TRUE(Child<QPushButton>(form, "Button1").isEnabled());
    EXPECT_EQ(Child<QPushButton>(form, "Button2").text(), "Stop");
    EXPECT_FALSE(Child<QPushButton>(form, "Button2").isEnabled());
}

TEST_F(MainWindowLayout, PanelFocusOrder) {
    const char* order[] = {"Edit2",   "Edit3",   "Edit4", "protobox", "Edit1",
                           "Button1", "Button2", "Edit5", "dumpcheck"};
    QWidget* widget = &Child<QWidget>(form, order[0]);
    for (const char* expected : order) {
        EXPECT_EQ(widget->objectName(), expected);
        do
            widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus ||
               widget->parentWidget()->objectName() != "Panel1");
    }
}

TEST_F(MainWindowLayout, EveryControlHasAnAccessibleName) {
    form.show();
    const std::pair<const char*, const char*> names[] = {
        {"Edit2", "Local IP"},       {"Edit5", "Source IP"},       {"Edit3", "S. Port"},
        {"Edit4", "Destination IP"}, {"Edit1", "D. Port"},         {"protobox", "Protocol"},
        {"Button1", "Start"},        {"Button2", "Stop"},          {"ListView1", "Processes"},
        {"ListView2", "Listeners"},  {"ListView3", "Connections"}, {"snifflog", "Sniffer log"}};
    for (const auto& [control, name] : names) {
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(&Child<QWidget>(form, control));
        ASSERT_NE(accessible, nullptr) << control;
        EXPECT_EQ(accessible->text(QAccessible::Name), name) << control;
    }
    QAccessibleInterface* check =
        QAccessible::queryAccessibleInterface(&Child<QWidget>(form, "dumpcheck"));
    EXPECT_TRUE(check->text(QAccessible::Name).startsWith("Dump the printable packet data"));
}
