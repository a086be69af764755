// When the lists are rebuilt, and the windows that open from the main window.

#include "ListView.h"
#include "Main.h"
#include "support/FakePlatform.h"
#include "support/ModalWindows.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct MainWindowRefresh : testing::Test {
    FakePlatform fake;
    std::unique_ptr<TForm1> form;
    ListView* processes = nullptr;
    QTabWidget* tabs = nullptr;

    void SetUp() override {
        fake.processes.add(1, Running("/sbin/init"));
        fake.processes.add(42, Running("/usr/bin/editor"));
        form = std::make_unique<TForm1>(fake.os);
        processes = form->findChild<ListView*>("ListView1");
        tabs = form->findChild<QTabWidget*>("PageControl1");
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    QAction& Action(const char* name) { return *form->findChild<QAction*>(name); }
};

} // namespace

TEST_F(MainWindowRefresh, FirstActivationFillsTheProcessesList) {
    EXPECT_EQ(fake.processes.enumerations, 1);
    EXPECT_EQ(processes->rows().size(), 2u);
}

TEST_F(MainWindowRefresh, EveryTriggerRebuildsExceptOnTheSnifferTab) {
    const struct {
        const char* trigger;
        std::function<void()> fire;
    } triggers[] = {
        {"toolbar button 1", [&] { Action("ToolButton1").trigger(); }},
        {"File > Refresh", [&] { Action("Refresh1").trigger(); }},
        {"tab change back to Processes",
         [&] { tabs->setCurrentIndex(1), tabs->setCurrentIndex(0); }},
    };
    for (const auto& t : triggers) {
        fake.processes.add(100 + fake.processes.enumerations, Running("/usr/bin/new"));
        const int before = fake.processes.enumerations;
        t.fire();
        EXPECT_EQ(fake.processes.enumerations, before + 1) << t.trigger;
        EXPECT_EQ(processes->rows().size(), fake.processes.ids->size()) << t.trigger;
    }
    tabs->setCurrentIndex(3);
    const int before = fake.processes.enumerations;
    Action("ToolButton1").trigger();
    Action("Refresh1").trigger();
    EXPECT_EQ(fake.processes.enumerations, before);
}

TEST_F(MainWindowRefresh, ComingBackFromAnotherApplicationKeepsTheList) {
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(fake.processes.enumerations, 1);
}

TEST_F(MainWindowRefresh, ClosingOneOfOurWindowsRebuilds) {
    QDialog other(form.get());
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(fake.processes.enumerations, 2);
}

TEST_F(MainWindowRefresh, AFailedEnumerationEmptiesTheList) {
    fake.processes.ids.reset();
    Action("Refresh1").trigger();
    EXPECT_TRUE(processes->rows().empty());
}

TEST_F(MainWindowRefresh, DoubleClickOpensTheModulesOfTheRowsProcess) {
    QStringList titles;
    std::vector<size_t> counts;
    const QRect cell = processes->visualRect(processes->model()->index(1, 0));
    for (int i = 0; i < 2; ++i) {
        QTest::qWait(QApplication::doubleClickInterval() + 50); // two separate double-clicks
        const bool opened = WithModalWindow(
            [&] {
                QTest::mouseClick(processes->viewport(), Qt::LeftButton, {}, cell.center());
                QTest::mouseDClick(processes->viewport(), Qt::LeftButton, {}, cell.center());
            },
            [&](QWidget& window) {
                titles << window.windowTitle();
                counts.push_back(window.findChild<ListView*>("ListView1")->rows().size());
            });
        EXPECT_TRUE(opened);
    }
    EXPECT_EQ(titles, QStringList({"Modules in use of PID 42", "Modules in use of PID 42"}));
    EXPECT_EQ(counts, (std::vector<size_t>{2, 2}));
    EXPECT_EQ(fake.processes.openHandles, 0);
}

TEST_F(MainWindowRefresh, DoubleClickWithoutSelectionOpensNothing) {
    processes->clearSelection();
    EXPECT_FALSE(WithModalWindow([&] { form->ListView1DblClick(); }, [](QWidget&) {}));
}

TEST_F(MainWindowRefresh, AModulesWindowOfAnEndedProcessIsEmpty) {
    processes->selectRow(1);
    fake.processes.processes.erase(42);
    QString title;
    size_t rows = 99;
    WithModalWindow([&] { form->ListView1DblClick(); },
                    [&](QWidget& window) {
                        title = window.windowTitle();
                        rows = window.findChild<ListView*>("ListView1")->rows().size();
                    });
    EXPECT_EQ(title, "Modules in use of PID 42");
    EXPECT_EQ(rows, 0u);
}

TEST_F(MainWindowRefresh, AboutOpensTheSameWindowEveryTime) {
    for (int i = 0; i < 2; ++i) {
        QStringList texts;
        QPoint position;
        EXPECT_TRUE(WithModalWindow([&] { Action("About1").trigger(); },
                                    [&](QWidget& window) {
                                        position = window.pos();
                                        texts << window.windowTitle();
                                        for (const char* label : {"Label1", "Label2"})
                                            texts << window.findChild<QLabel*>(label)->text();
                                    }));
        EXPECT_EQ(texts, QStringList({"About", "Quillmark", "Version 2.0"}));
        EXPECT_EQ(position, QPoint(209, 204));
    }
}

TEST_F(MainWindowRefresh, AnExceptionInAHandlerIsShownAndTheProgramGoesOn) {
    QObject thrower;
    QObject::connect(&Action("Refresh1"), &QAction::triggered, &thrower,
                     [] { throw std::runtime_error("'x' is not a valid integer value"); });
    QString shown;
    const auto refreshLater = [&] { QTimer::singleShot(0, [&] { Action("Refresh1").trigger(); }); };
    const bool opened = WithModalWindow(refreshLater, [&](QWidget& window) {
        if (auto* box = qobject_cast<QMessageBox*>(&window))
            shown = box->text();
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(shown, "'x' is not a valid integer value");
    EXPECT_TRUE(form->isVisible());
}
