// The log's own behaviour: selection, copying and following new lines.

#include "SnifferLog.h"

#include "support/EventWait.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class SnifferLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log.resize(400, 10 * log.fontMetrics().height() + 10);
        log.show();
    }
    void Append(int count) {
        for (int i = 0; i < count; ++i)
            log.appendLine("line " + std::to_string(log.lineCount()));
    }
    // Lines are shown together a few times a second; wait for that.
    void Settle() {
        WaitUntil([] { return false; }, 100);
    }
    QPoint LineOnScreen(int visibleRow) const {
        return {20, visibleRow * log.fontMetrics().height() + log.fontMetrics().height() / 2};
    }

    SnifferLog log;
};

} // namespace

TEST_F(SnifferLogTest, SelectsWithMouseAndKeysAndCopiesTheLines) {
    Append(3);
    log.appendLine("");
    Settle();
    log.verticalScrollBar()->setValue(0);
    QTest::mouseClick(log.viewport(), Qt::LeftButton, {}, LineOnScreen(1));
    QTest::mouseClick(log.viewport(), Qt::LeftButton, Qt::ShiftModifier, LineOnScreen(3));
    EXPECT_EQ(log.selectedText(), "line 1\nline 2\n");
    QTest::keyClick(&log, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "line 1\nline 2");
    QTest::keyClick(&log, Qt::Key_Home);
    EXPECT_EQ(log.selectedText(), "line 0");
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(log.selectedText(), "line 0\nline 1\nline 2\n");
}

TEST_F(SnifferLogTest, FollowsNewLinesOnlyFromTheBottom) {
    QScrollBar* bar = log.verticalScrollBar();
    Append(100);
    Settle();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    Append(10);
    Settle();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(bar->maximum(), 110 - bar->pageStep());

    bar->setValue(5); // the user scrolled up to read
    Append(10);
    Settle();
    EXPECT_EQ(bar->value(), 5);
    EXPECT_EQ(bar->maximum(), 120 - bar->pageStep());
}
