// The sniffer log as a screen reader sees it, through Qt's accessibility
// interfaces in this process.

#include "sniffer/SnifferLog.h"
#include "support/EventWait.h"

#include <QAccessible>
#include <QTest>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <gtest/gtest.h>
#include <tuple>

namespace {

const char* const kLines[] = {"Starting sniffer...", "",
                              "UDP Packet ID:7  127.0.0.1:1000 > 127.0.0.1:2000 Size: 30b TTL: 64",
                              "-------------------------------------------------"};

// A text item as the interface gives it: its text, start and end.
using Item = std::tuple<std::string, int, int>;

} // namespace

// One read-only text of the lines joined by "\n", read line by line (a line
// with its "\n") and word by word; a click and a Shift+click select lines.
TEST(SnifferLogAccessible, ReadsAsOneTextWhoseSelectionIsTheSelectedLines) {
    SnifferLog log;
    log.resize(600, 200);
    log.show();
    for (const char* line : kLines)
        log.appendLine(line);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&log);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), QAccessible::EditableText);
    EXPECT_TRUE(reader->state().readOnly && reader->state().multiLine);
    QAccessibleTextInterface* text = reader->textInterface();
    ASSERT_NE(text, nullptr);
    const std::string all = std::string(kLines[0]) + "\n\n" + kLines[2] + "\n" + kLines[3];
    EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), all);

    const std::string third = std::string(kLines[2]) + "\n";
    const int thirdEnd = 21 + static_cast<int>(third.size());
    const int end = static_cast<int>(all.size());
    const struct {
        int offset;
        int step; // -1 before, 0 at, 1 after
        QAccessible::TextBoundaryType type;
        Item item;
    } cases[] = {
        {0, 0, QAccessible::LineBoundary, {"Starting sniffer...\n", 0, 20}},
        {19, 0, QAccessible::LineBoundary, {"Starting sniffer...\n", 0, 20}},
        {20, 0, QAccessible::LineBoundary, {"\n", 20, 21}},
        {21, -1, QAccessible::LineBoundary, {"\n", 20, 21}},
        {30, 0, QAccessible::LineBoundary, {third, 21, thirdEnd}},
        {30, 1, QAccessible::LineBoundary, {kLines[3], thirdEnd, end}},
        {end, 0, QAccessible::LineBoundary, {kLines[3], thirdEnd, end}},
        {end, 1, QAccessible::LineBoundary, {"", end, end}},
        {0, -1, QAccessible::LineBoundary, {"", 0, 0}},
        {10, 0, QAccessible::WordBoundary, {"sniffer", 9, 16}},
        {21, 0, QAccessible::WordBoundary, {"UDP", 21, 24}},
        {21, -1, QAccessible::CharBoundary, {"\n", 20, 21}},
    };
    for (const auto& c : cases) {
        int start = 0, stop = 0;
        const QString item = c.step < 0    ? text->textBeforeOffset(c.offset, c.type, &start, &stop)
                             : c.step == 0 ? text->textAtOffset(c.offset, c.type, &start, &stop)
                                           : text->textAfterOffset(c.offset, c.type, &start, &stop);
        EXPECT_EQ(Item(item.toStdString(), start, stop), c.item) << c.offset << " " << c.step;
    }

    const int height = log.fontMetrics().height();
    QTest::mouseClick(log.viewport(), Qt::LeftButton, {}, QPoint(5, height / 2));
    QTest::mouseClick(log.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      QPoint(5, 2 * height + height / 2));
    int start = 0, stop = 0;
    text->selection(0, &start, &stop);
    EXPECT_EQ(Item(text->text(start, stop).toStdString(), start, stop),
              Item(log.selectedText(), 0, thirdEnd - 1));
    EXPECT_EQ(text->cursorPosition(), 21);
}

// Lines appended while an announcement is due join it: each burst of 1,000
// lines is one announcement, taking up where the last ended, ending at the
// end of the text and holding at most its last 64 lines.
TEST(SnifferLogAccessible, EachBurstOfLinesIsOneAnnouncement) {
    static std::vector<std::pair<int, int>> announced; // position and length
    announced.clear();
    SnifferLog log;
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&log)->textInterface();
    // Accessibility on, as with a screen reader, and its events counted here.
    QPlatformAccessibility* accessibility =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    accessibility->setActive(true);
    const auto usual = QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (event->type() == QAccessible::TextInserted) {
            const auto* inserted = static_cast<QAccessibleTextInsertEvent*>(event);
            announced.emplace_back(inserted->changePosition(), inserted->textInserted().size());
        }
    });
    const std::string line = "TCP Packet ID:13330  10.0.0.2:1025 > 10.0.0.1:80 Size: 60b TTL: 128";
    for (size_t burst = 1; burst <= 3; ++burst) {
        for (int i = 0; i < 1000; ++i)
            log.appendLine(line);
        ASSERT_TRUE(WaitUntil([&] { return announced.size() == burst; }));
        const int end = announced.back().first + announced.back().second;
        EXPECT_EQ(end, text->characterCount());
        EXPECT_EQ(announced.back().second, 64 * static_cast<int>(line.size() + 1));
        if (burst > 1) {
            EXPECT_GE(announced.back().first,
                      announced[burst - 2].first + announced[burst - 2].second);
        }
    }
    QAccessible::installUpdateHandler(usual);
    accessibility->setActive(false);
}
