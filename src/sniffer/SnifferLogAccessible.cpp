#include "SnifferLogAccessible.h"

#include "SnifferLog.h"

#include <QAccessibleWidget>
#include <algorithm>
#include <climits>

namespace {

// A screen reader cannot speak faster than this anyway; a flood of lines
// costs it at most this many announcements a second.
constexpr int kAnnouncementsPerSecond = 4;
// Nor speak more lines than these in one announcement: a flood is announced as
// its last lines, so an announcement costs the same at any capture rate.
constexpr size_t kMostLinesAnnounced = 64;

// A few lines of the log as a plain text, so that characters, words and
// sentences are found by Qt's own rules.
class TextPiece : public QAccessibleTextInterface {
  public:
    explicit TextPiece(QString text) : text_(std::move(text)) {}
    QString text(int start, int end) const override { return text_.mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(text_.size()); }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int*, int*) const override { return {}; }

  private:
    QString text_;
};

class SnifferLogAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit SnifferLogAccessible(SnifferLog* log);

    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    void selection(int index, int* start, int* end) const override;
    int selectionCount() const override { return log()->selection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { log()->clearSelection(); }
    void setSelection(int index, int start, int end) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override { setSelection(0, position, position); }
    using QAccessibleWidget::text; // the widget's name and the like, beside the text's range
    QString text(int start, int end) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        return Item(-1, offset, type, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        return Item(1, offset, type, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        return Item(0, offset, type, start, end);
    }
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int start, int) override;
    QString attributes(int, int* start, int* end) const override;

  private:
    // The part of the log a reader is shown: all of it while it is shorter
    // than an int can count; else a window of kWindowBytes around the
    // current line, or the top line of the view, which moves only when that
    // line leaves it. Offsets count bytes: the log's lines are ASCII.
    struct Window {
        uint64_t start; // in the text of the kept lines
        uint64_t size;
    };
    static constexpr uint64_t kWindowBytes = uint64_t{1} << 30;
    // What text() gives at most at once.
    static constexpr int kMostTextBytes = 16 << 20;
    Window View() const;
    SnifferLog* log() const { return static_cast<SnifferLog*>(widget()); }
    size_t Lines() const { return log()->lineCount(); }
    size_t LineAt(int offset) const {
        return log()->lines().LineAtText(View().start + static_cast<uint64_t>(std::max(0, offset)));
    }
    int LineStart(size_t line) const { return Offset(log()->lines().TextOffset(line)); }
    int LineEnd(size_t line) const { return Offset(log()->lines().TextOffset(line + 1) - 1); }
    // Where a place in the text of the kept lines is in the window, which
    // clamps it to its ends.
    int Offset(uint64_t text) const {
        const Window window = View();
        return static_cast<int>(std::clamp(text, window.start, window.start + window.size) -
                                window.start);
    }
    int LineEndWithBreak(size_t line) const { return LineEnd(line) + (line + 1 < Lines()); }
    QString LineText(size_t line) const { return QString::fromLatin1(log()->line(line)); }
    QString Item(int step, int offset, QAccessible::TextBoundaryType type, int* start,
                 int* end) const;
    void Announce();
    void AnnounceSelection();

    mutable uint64_t windowLine_ = 0; // counted from the first line ever
    QTimer announcement_;
    uint64_t announced_; // lines, counted from the first line ever
};

SnifferLogAccessible::SnifferLogAccessible(SnifferLog* log)
    : QAccessibleWidget(log, QAccessible::EditableText),
      announced_(log->lines().removed() + log->lineCount()) {
    announcement_.setSingleShot(true);
    announcement_.setInterval(1000 / kAnnouncementsPerSecond);
    QObject::connect(&announcement_, &QTimer::timeout, [this] { Announce(); });
    QObject::connect(log, &SnifferLog::linesAppended, &announcement_, [this] {
        if (!announcement_.isActive())
            announcement_.start();
    });
    QObject::connect(log, &SnifferLog::selectionChanged, &announcement_,
                     [this] { AnnounceSelection(); });
}

QAccessible::State SnifferLogAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    state.focusable = true;
    return state;
}

void* SnifferLogAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

SnifferLogAccessible::Window SnifferLogAccessible::View() const {
    const SnifferLogLines& lines = log()->lines();
    const size_t count = lines.size();
    const uint64_t size = count == 0 ? 0 : lines.TextOffset(count) - 1;
    if (size <= INT_MAX)
        return {0, size};
    const auto selected = log()->selection();
    const uint64_t focus = lines.TextOffset(selected ? selected->current : log()->topLine());
    const uint64_t removed = lines.removed();
    uint64_t start = lines.TextOffset(windowLine_ > removed ? windowLine_ - removed : 0);
    if (focus < start || focus >= start + kWindowBytes / 2) {
        const size_t line = lines.LineAtText(focus - std::min(focus, kWindowBytes / 4));
        windowLine_ = removed + line;
        start = lines.TextOffset(line);
    }
    return {start, std::min(kWindowBytes, size - start)};
}

int SnifferLogAccessible::characterCount() const {
    return static_cast<int>(View().size);
}

QString SnifferLogAccessible::text(int start, int end) const {
    start = std::max(start, 0);
    end = std::min({end, characterCount(), start + std::min(kMostTextBytes, INT_MAX - start)});
    if (start >= end)
        return {};
    const size_t first = LineAt(start);
    QString text = LineText(first);
    for (size_t line = first + 1; line <= LineAt(end); ++line)
        text += '\n' + LineText(line);
    return text.mid(start - LineStart(first), end - start);
}

// step -1: the item before offset, 0: the item at it, 1: the item after it.
// Lines are found here; characters, words and sentences never reach beyond
// the neighbouring lines, so Qt's rules need only those.
QString SnifferLogAccessible::Item(int step, int offset, QAccessible::TextBoundaryType type,
                                   int* start, int* end) const {
    const int count = characterCount();
    offset = offset == -1 ? count : offset == -2 ? cursorPosition() : offset;
    *start = *end = -1;
    if (count == 0 || offset < 0 || offset > count)
        return {};
    if (type == QAccessible::NoBoundary) {
        *start = 0;
        *end = count;
        return text(0, count);
    }
    const size_t line = LineAt(offset);
    if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
        const long long target = static_cast<long long>(line) + step;
        *start = *end = offset;
        if (target < 0 || target >= static_cast<long long>(Lines()))
            return {};
        *start = LineStart(static_cast<size_t>(target));
        *end = LineEndWithBreak(static_cast<size_t>(target));
        return text(*start, *end);
    }
    const int from = LineStart(line == 0 ? 0 : line - 1);
    const TextPiece piece(text(from, LineEndWithBreak(std::min(line + 1, Lines() - 1))));
    const QString item = step < 0    ? piece.textBeforeOffset(offset - from, type, start, end)
                         : step == 0 ? piece.textAtOffset(offset - from, type, start, end)
                                     : piece.textAfterOffset(offset - from, type, start, end);
    if (*start >= 0) {
        *start += from;
        *end += from;
    }
    return item;
}

void SnifferLogAccessible::selection(int index, int* start, int* end) const {
    const auto selected = log()->selection();
    *start = *end = 0;
    if (index != 0 || !selected || Lines() == 0)
        return;
    *start = LineStart(selected->first);
    *end = LineEnd(selected->last);
}

// Whole lines are selected: those from start to the one holding end's last
// character, the caret on the line of end.
void SnifferLogAccessible::setSelection(int index, int start, int end) {
    if (index != 0 || Lines() == 0)
        return;
    log()->selectLines(LineAt(start), LineAt(std::max(start, end - 1)));
}

int SnifferLogAccessible::cursorPosition() const {
    const auto selected = log()->selection();
    return selected && Lines() != 0 ? LineStart(selected->current) : 0;
}

QRect SnifferLogAccessible::characterRect(int offset) const {
    if (offset < 0 || offset > characterCount() || Lines() == 0)
        return {};
    const size_t line = LineAt(offset);
    const QString text = LineText(line);
    const int column = offset - LineStart(line);
    const QFontMetrics metrics = log()->fontMetrics();
    const QPoint origin = log()->lineOrigin(line);
    const int width = metrics.horizontalAdvance(column < text.size() ? text.mid(column, 1) : " ");
    return {log()->viewport()->mapToGlobal(origin +
                                           QPoint(metrics.horizontalAdvance(text.left(column)), 0)),
            QSize(width, metrics.height())};
}

int SnifferLogAccessible::offsetAtPoint(const QPoint& point) const {
    const QPoint at = log()->viewport()->mapFromGlobal(point);
    if (!log()->viewport()->rect().contains(at) || Lines() == 0)
        return -1;
    const QFontMetrics metrics = log()->fontMetrics();
    const size_t line = log()->topLine() + static_cast<size_t>(at.y() / metrics.height());
    if (line >= Lines())
        return -1;
    const QString text = LineText(line);
    const int x = at.x() - log()->lineOrigin(line).x();
    int column = 0;
    while (column < text.size() && metrics.horizontalAdvance(text.left(column + 1)) <= x)
        ++column;
    return LineStart(line) + column;
}

void SnifferLogAccessible::scrollToSubstring(int start, int) {
    if (Lines() != 0)
        log()->scrollToLine(LineAt(start));
}

QString SnifferLogAccessible::attributes(int, int* start, int* end) const {
    *start = 0;
    *end = characterCount();
    return {};
}

// One announcement for the lines appended since the last, at most the last
// kMostLinesAnnounced of them; with no screen reader listening, nothing is
// put together.
void SnifferLogAccessible::Announce() {
    const size_t count = log()->lineCount();
    const uint64_t removed = log()->lines().removed();
    if (removed + count == announced_)
        return;
    const size_t first =
        std::max(announced_, removed + count - std::min(count, kMostLinesAnnounced)) - removed;
    announced_ = removed + count;
    if (!QAccessible::isActive())
        return;
    const int position = first == 0 ? 0 : LineEnd(first - 1);
    QAccessibleTextInsertEvent event(log(), position, text(position, characterCount()));
    QAccessible::updateAccessibility(&event);
}

// The caret moves with the selection: a screen reader then reads the line.
void SnifferLogAccessible::AnnounceSelection() {
    int start = 0;
    int end = 0;
    selection(0, &start, &end);
    QAccessibleTextCursorEvent caret(log(), cursorPosition());
    QAccessible::updateAccessibility(&caret);
    QAccessibleTextSelectionEvent selected(log(), start, end);
    selected.setCursorPosition(cursorPosition());
    QAccessible::updateAccessibility(&selected);
}

QAccessibleInterface* SnifferLogFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("SnifferLog") && object && object->isWidgetType())
        return new SnifferLogAccessible(static_cast<SnifferLog*>(object));
    return nullptr;
}

} // namespace

void InstallSnifferLogAccessible() {
    static const bool installed = (QAccessible::installFactory(SnifferLogFactory), true);
    (void)installed;
}
