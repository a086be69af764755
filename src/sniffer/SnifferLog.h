#pragma once

#include "SnifferLogLines.h"

#include <QAbstractScrollArea>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class PacketStore;

// The read-only log under the sniffer panel. Lines can be selected with the
// mouse or keyboard and copied (Ctrl+C, or the context menu). Any thread may
// append a line, and the line is in the log when appendLine returns; the
// view shows what was appended in one repaint a few times a second
// (ShowNewLines, on the window's thread), and paints only the visible lines,
// so appending stays cheap however long the log grows and however fast lines
// come. The view follows new lines while it is scrolled to the bottom. A
// screen reader reads it through the interface of SnifferLogAccessible.
// Given the store of captured packets, its context menu can save them as a
// pcap file.
class SnifferLog : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit SnifferLog(QWidget* parent = nullptr);

    // Safe on any thread. The line is kept either way: 0, or why it could
    // not be written to disk.
    int appendLine(std::string_view line);
    // Lines are numbered from the first one kept: the oldest go beyond the
    // disk limit.
    size_t lineCount() const { return lines_.size(); }
    std::string line(size_t index) const { return lines_.at(index); }
    const SnifferLogLines& lines() const { return lines_; }
    // Where the lines are kept; set before the first line, or a default
    // space is made then.
    void setScratchSpace(std::shared_ptr<ScratchSpace> space) { lines_.SetSpace(std::move(space)); }

    // The most text that Copy puts on the clipboard.
    static constexpr uint64_t kMostCopiedBytes = uint64_t{256} << 20;
    void selectAll();
    // The selected lines joined by '\n'.
    std::string selectedText() const;
    // Copies the selection, or says why it is too large to copy.
    void copySelection();

    void setPacketStore(std::shared_ptr<const PacketStore> packets);
    std::shared_ptr<const PacketStore> packetStore() const { return packets_; }

    // The selected lines, first to last, and the current one, which is
    // either end; nullopt when none is selected.
    struct LineSelection {
        size_t first;
        size_t last;
        size_t current;
    };
    std::optional<LineSelection> selection() const;
    // Selects from line anchor to line current (both below lineCount()).
    void selectLines(size_t anchor, size_t current);
    void clearSelection();
    void scrollToLine(size_t index);
    // The line at the top of the view.
    size_t topLine() const;
    // Where line index's text starts, in viewport coordinates; a line far
    // off the view lies just beyond its edge.
    QPoint lineOrigin(size_t index) const;

  signals:
    // On the window's thread, once per repaint that shows appended lines
    // (from any thread): a listener hears of every line, in batches.
    void linesAppended();
    void selectionChanged();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void ShowNewLines();
    void UpdateScrollBars();
    int LineHeight() const;
    int VisibleLines() const;
    size_t LineAt(int y) const;
    void MoveCurrent(size_t line, bool extend);
    void SetTopLine(size_t line);
    void ForgetRemovedLines();
    bool HasSelection() const { return current_ < lines_.size(); }

    SnifferLogLines lines_;
    QTimer refresh_;
    std::atomic<bool> refreshPosted_ = false; // by a thread other than the window's
    size_t anchor_ = SIZE_MAX;                // the selection runs from anchor_ to current_
    size_t current_ = SIZE_MAX;
    size_t longest_ = SIZE_MAX; // the line whose width longestWidth_ is
    int longestWidth_ = 0;
    // Beyond INT_MAX lines a step of the scroll bar is more than one line.
    size_t linesPerStep_ = 1;
    uint64_t removedSeen_ = 0;
    std::shared_ptr<const PacketStore> packets_;
};
