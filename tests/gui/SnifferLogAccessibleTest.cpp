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

// One read-only text of the lines joined by "\n", read line by line (a line
// with its "\n") and word by word; a click and a Shift+click select lines.
TEST(SnifferLogAccessible, ReadsAsOneTextWhoseSelectionIsTheSelectedLines) {
    const std::string lines[] = {"Starting sniffer...", "", "UDP Packet ID:7  127.0.0.1", "----"};
    SnifferLog log;
    log.resize(600, 200);
    log.show();
    for (const std::string& line : lines)
        log.appendLine(line);
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&log)->textInterface();
    ASSERT_TRUE(text);
    const std::string third = lines[2] + "\n", all = lines[0] + "\n\n" + third + lines[3];
    EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), all);
    const int thirdEnd = 21 + static_cast<int>(third.size()), end = static_cast<int>(all.size());
    // The offset, the item before it (-1), at it (0) or after it (1), and that
    // item with its start and end.
    using Item = std::tuple<std::string, int, int>;
    const auto line = QAccessible::LineBoundary;
    const std::tuple<int, int, QAccessible::TextBoundaryType, Item> cases[] = {
        {19, 0, line, {lines[0] + "\n", 0, 20}},
        {20, 0, line, {"\n", 20, 21}},
        {21, -1, line, {"\n", 20, 21}},
        {30, 0, line, {third, 21, thirdEnd}},
        {30, 1, line, {lines[3], thirdEnd, end}},
        {end, 0, line, {lines[3], thirdEnd, end}},
        {end, 1, line, {"", end, end}},
        {0, -1, line, {"", 0, 0}},
        {21, 0, QAccessible::WordBoundary, {"UDP", 21, 24}},
        {21, -1, QAccessible::CharBoundary, {"\n", 20, 21}}};
    for (const auto& [offset, step, type, item] : cases) {
        int start = 0, stop = 0;
        const QString got = step < 0    ? text->textBeforeOffset(offset, type, &start, &stop)
                            : step == 0 ? text->textAtOffset(offset, type, &start, &stop)
                                        : text->textAfterOffset(offset, type, &start, &stop);
        EXPECT_EQ(Item(got.toStdString(), start, stop), item) << offset << " " << step;
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
    int lastEnd = 0; // of the announcement before
    for (size_t burst = 1; burst <= 3; ++burst) {
        for (int i = 0; i < 1000; ++i)
            log.appendLine(line);
        ASSERT_TRUE(WaitUntil([&] { return announced.size() == burst; }));
        EXPECT_EQ(announced.back().first + announced.back().second, text->characterCount());
        EXPECT_EQ(announced.back().second, 64 * static_cast<int>(line.size() + 1));
        EXPECT_GE(announced.back().first, lastEnd);
        lastEnd = announced.back().first + announced.back().second;
    }
    QAccessible::installUpdateHandler(usual);
    accessibility->setActive(false);
}
