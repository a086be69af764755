#include "SnifferLog.h"

#include "PcapSave.h"
#include "SnifferLogAccessible.h"
#include "platform/WindowMessages.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
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
void SnifferLog::appendLine(std::string_view line) {
    lines_.Append(line);
    if (thread() != QThread::currentThread()) {
        if (!refreshPosted_.exchange(true))
            platform::PostEvent(this, new QEvent(kLinesAppended));
    } else if (!refresh_.isActive()) {
        refresh_.start();
    }
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

// Scrolling is by whole lines; a view at the bottom stays there as lines come.
void SnifferLog::UpdateScrollBars() {
    QScrollBar* vertical = verticalScrollBar();
    const bool following = vertical->value() == vertical->maximum();
    const int pageLines = VisibleLines();
    const auto count = static_cast<int>(std::min<size_t>(lines_.size(), INT32_MAX));
    vertical->setRange(0, std::max(0, count - pageLines));
    vertical->setPageStep(pageLines);
    if (following)
        vertical->setValue(vertical->maximum());
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, longestWidth_ + 2 * kMargin - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(20);
}

void SnifferLog::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int height = LineHeight();
    const auto first = static_cast<size_t>(verticalScrollBar()->value());
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

QPoint SnifferLog::lineOrigin(size_t index) const {
    const auto first = static_cast<long long>(verticalScrollBar()->value());
    return {kMargin - horizontalScrollBar()->value(),
            static_cast<int>(static_cast<long long>(index) - first) * LineHeight()};
}

void SnifferLog::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

size_t SnifferLog::LineAt(int y) const {
    const auto line =
        static_cast<size_t>(verticalScrollBar()->value() + std::max(0, y) / LineHeight());
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
    QScrollBar* vertical = verticalScrollBar();
    if (static_cast<int>(index) < vertical->value())
        vertical->setValue(static_cast<int>(index));
    else if (static_cast<int>(index) >= vertical->value() + VisibleLines())
        vertical->setValue(static_cast<int>(index) - VisibleLines() + 1);
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

void SnifferLog::copySelection() const {
    if (HasSelection())
        QApplication::clipboard()->setText(QString::fromLocal8Bit(selectedText()));
}
