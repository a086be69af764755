#include "SnifferLog.h"

#include "PcapSave.h"
#include "SnifferLogAccessible.h"
#include "platform/WindowMessages.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QThread>
#include <algorithm>

namespace {

constexpr int kMargin = 3;
// Lines that arrive faster than this are shown together in one repaint.
constexpr int kRefreshMilliseconds = 40;
// Asks the window's thread to start the refresh timer.
const auto kLinesAppended = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

SnifferLog::SnifferLog(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    refresh_.setSingleShot(true);
    refresh_.setInterval(kRefreshMilliseconds);
    connect(&refresh_, &QTimer::timeout, this, &SnifferLog::ShowNewLines);
    InstallSnifferLogAccessible();
}

// Another thread posts at most one request until the refresh it asks for has
// begun, so a fast writer costs the window one wake-up per refresh.
int SnifferLog::appendLine(std::string_view line) {
    const int error = lines_.Append(line);
    if (thread() != QThread::currentThread()) {
        if (!refreshPosted_.exchange(true))
            platform::PostEvent(this, new QEvent(kLinesAppended));
    } else if (!refresh_.isActive()) {
        refresh_.start();
    }
    return error;
}

bool SnifferLog::event(QEvent* event) {
    if (event->type() != kLinesAppended)
        return QAbstractScrollArea::event(event);
    if (!refresh_.isActive())
        refresh_.start();
    return true;
}

void SnifferLog::ShowNewLines() {
    refreshPosted_ = false;
    ForgetRemovedLines();
    const size_t longest = lines_.longest();
    if (longest != longest_ && longest < lines_.size()) {
        longest_ = longest;
        longestWidth_ = fontMetrics().horizontalAdvance(QString::fromLocal8Bit(lines_.at(longest)));
    }
    UpdateScrollBars();
    viewport()->update();
    emit linesAppended();
}

int SnifferLog::LineHeight() const {
    return fontMetrics().height();
}

int SnifferLog::VisibleLines() const {
    return std::max(1, viewport()->height() / LineHeight());
}

// The numbers of the lines let go since the last look shift down by their
// count; the view and the selection stay on the same lines while they last.
void SnifferLog::ForgetRemovedLines() {
    const uint64_t removed = lines_.removed();
    const auto gone = static_cast<size_t>(removed - removedSeen_);
    if (gone == 0)
        return;
    removedSeen_ = removed;
    const QScrollBar* vertical = verticalScrollBar();
    const bool following = vertical->value() == vertical->maximum();
    const size_t top = topLine();
    UpdateScrollBars();
    if (!following)
        SetTopLine(top >= gone ? top - gone : 0);
    if (current_ == SIZE_MAX)
        return;
    if (std::max(anchor_, current_) < gone)
        return clearSelection();
    anchor_ = anchor_ >= gone ? anchor_ - gone : 0;
    current_ = current_ >= gone ? current_ - gone : 0;
    emit selectionChanged();
}

// Scrolling is by whole lines; a view at the bottom stays there as lines
// come. A scroll bar counts in int, so past INT_MAX lines one of its steps
// is several lines.
void SnifferLog::UpdateScrollBars() {
    QScrollBar* vertical = verticalScrollBar();
    const bool following = vertical->value() == vertical->maximum();
    const size_t top = topLine();
    const auto pageLines = static_cast<size_t>(VisibleLines());
    const size_t lastTop = lines_.size() > pageLines ? lines_.size() - pageLines : 0;
    linesPerStep_ = 1 + lastTop / INT32_MAX;
    vertical->setRange(0, static_cast<int>(lastTop / linesPerStep_));
    vertical->setPageStep(static_cast<int>(pageLines));
    vertical->setValue(following ? vertical->maximum() : static_cast<int>(top / linesPerStep_));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, longestWidth_ + 2 * kMargin - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(20);
}

void SnifferLog::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int height = LineHeight();
    const size_t first = topLine();
    const size_t last = std::min(lines_.size(), first + static_cast<size_t>(VisibleLines()) + 1);
    const size_t selectedFrom = std::min(anchor_, current_);
    const size_t selectedTo = std::max(anchor_, current_);
    for (size_t index = first; index < last; ++index) {
        const QPoint origin = lineOrigin(index);
        const bool selected = HasSelection() && index >= selectedFrom && index <= selectedTo;
        if (selected)
            painter.fillRect(0, origin.y(), viewport()->width(), height, palette().highlight());
        painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
        painter.drawText(origin.x(), origin.y() + fontMetrics().ascent(),
                         QString::fromLocal8Bit(lines_.at(index)));
    }
}

size_t SnifferLog::topLine() const {
    const QScrollBar* vertical = verticalScrollBar();
    const auto pageLines = static_cast<size_t>(VisibleLines());
    const size_t lastTop = lines_.size() > pageLines ? lines_.size() - pageLines : 0;
    if (vertical->value() == vertical->maximum())
        return lastTop;
    return std::min(lastTop, static_cast<size_t>(vertical->value()) * linesPerStep_);
}

void SnifferLog::SetTopLine(size_t line) {
    verticalScrollBar()->setValue(static_cast<int>(std::min<size_t>(
        line / linesPerStep_, static_cast<size_t>(verticalScrollBar()->maximum()))));
}

QPoint SnifferLog::lineOrigin(size_t index) const {
    const long long lines = static_cast<long long>(index) - static_cast<long long>(topLine());
    const long long beyond = VisibleLines() + 1;
    return {kMargin - horizontalScrollBar()->value(),
            static_cast<int>(std::clamp(lines, -beyond, beyond)) * LineHeight()};
}

void SnifferLog::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

size_t SnifferLog::LineAt(int y) const {
    const size_t line = topLine() + static_cast<size_t>(std::max(0, y) / LineHeight());
    return std::min(line, lines_.size() - 1);
}

void SnifferLog::MoveCurrent(size_t line, bool extend) {
    current_ = line;
    if (!extend || anchor_ >= lines_.size())
        anchor_ = line;
    scrollToLine(line);
    viewport()->update();
    emit selectionChanged();
}

void SnifferLog::scrollToLine(size_t index) {
    const size_t top = topLine();
    const auto pageLines = static_cast<size_t>(VisibleLines());
    if (index < top)
        SetTopLine(index);
    else if (index >= top + pageLines)
        SetTopLine(index - pageLines + 1);
}

std::optional<SnifferLog::LineSelection> SnifferLog::selection() const {
    if (!HasSelection())
        return std::nullopt;
    return LineSelection{std::min(anchor_, current_), std::max(anchor_, current_), current_};
}

void SnifferLog::selectLines(size_t anchor, size_t current) {
    anchor_ = anchor;
    MoveCurrent(current, true);
}

void SnifferLog::clearSelection() {
    anchor_ = current_ = SIZE_MAX;
    viewport()->update();
    emit selectionChanged();
}

void SnifferLog::mousePressEvent(QMouseEvent* event) {
    if (lines_.size() == 0 || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    MoveCurrent(LineAt(event->position().toPoint().y()), event->modifiers() & Qt::ShiftModifier);
}

void SnifferLog::mouseMoveEvent(QMouseEvent* event) {
    if (lines_.size() != 0 && (event->buttons() & Qt::LeftButton))
        MoveCurrent(LineAt(event->position().toPoint().y()), true);
}

void SnifferLog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy))
        return copySelection();
    if (event->matches(QKeySequence::SelectAll))
        return selectAll();
    if (lines_.size() == 0)
        return QAbstractScrollArea::keyPressEvent(event);
    const auto last = static_cast<long long>(lines_.size() - 1);
    const long long from = HasSelection() ? static_cast<long long>(current_) : 0;
    long long to = from;
    switch (event->key()) {
    case Qt::Key_Up:
        to = from - 1;
        break;
    case Qt::Key_Down:
        to = from + 1;
        break;
    case Qt::Key_PageUp:
        to = from - VisibleLines();
        break;
    case Qt::Key_PageDown:
        to = from + VisibleLines();
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = last;
        break;
    default:
        return QAbstractScrollArea::keyPressEvent(event);
    }
    MoveCurrent(static_cast<size_t>(std::clamp(to, 0LL, last)),
                event->modifiers() & Qt::ShiftModifier);
}

void SnifferLog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr("&Copy"), this, &SnifferLog::copySelection)->setEnabled(HasSelection());
    menu.addAction(tr("Select &All"), this, &SnifferLog::selectAll)->setEnabled(lines_.size() != 0);
    if (packets_) {
        menu.addSeparator();
        menu.addAction(tr("&Save captured packets as..."), this,
                       [this] { SaveCapturedPackets(this, *packets_); })
            ->setEnabled(!packets_->Latest().records.empty());
    }
    menu.exec(event->globalPos());
}

void SnifferLog::setPacketStore(std::shared_ptr<const PacketStore> packets) {
    packets_ = std::move(packets);
}

void SnifferLog::selectAll() {
    if (lines_.size() == 0)
        return;
    anchor_ = 0;
    current_ = lines_.size() - 1;
    viewport()->update();
    emit selectionChanged();
}

std::string SnifferLog::selectedText() const {
    if (!HasSelection())
        return {};
    const size_t from = std::min(anchor_, current_);
    std::string text = lines_.at(from);
    for (size_t index = from + 1; index <= std::max(anchor_, current_); ++index)
        (text += '\n') += lines_.at(index);
    return text;
}

// The clipboard holds the whole text, here and in every program it is
// pasted into, and most of them freeze on a paste of this size; a file is
// what such an amount is wanted in.
void SnifferLog::copySelection() {
    if (!HasSelection())
        return;
    const uint64_t size = lines_.TextOffset(std::max(anchor_, current_) + 1) -
                          lines_.TextOffset(std::min(anchor_, current_)) - 1;
    if (size <= kMostCopiedBytes)
        return QApplication::clipboard()->setText(QString::fromLocal8Bit(selectedText()));
    QMessageBox box(QMessageBox::Information, tr("Copy"),
                    tr("The selection is too large to copy: %1, where at most %2 can be copied. "
                       "Select fewer lines, or keep the capture with \"Save captured packets "
                       "as...\".")
                        .arg(locale().formattedDataSize(static_cast<qint64>(size), 1),
                             locale().formattedDataSize(kMostCopiedBytes, 0)),
                    QMessageBox::Ok, this);
    box.setObjectName("copyTooLarge");
    box.exec();
}
