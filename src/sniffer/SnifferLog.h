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

    // Safe on any thread.
    void appendLine(std::string_view line);
    size_t lineCount() const { return lines_.size(); }
    std::string line(size_t index) const { return lines_.at(index); }

    void selectAll();
    // The selected lines joined by '\n'.
    std::string selectedText() const;
    void copySelection() const;

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
    // Where line index's text starts, in viewport coordinates.
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
    bool HasSelection() const { return current_ < lines_.size(); }

    SnifferLogLines lines_;
    QTimer refresh_;
    std::atomic<bool> refreshPosted_ = false; // by a thread other than the window's
    size_t anchor_ = SIZE_MAX;                // the selection runs from anchor_ to current_
    size_t current_ = SIZE_MAX;
    size_t longest_ = SIZE_MAX; // the line whose width longestWidth_ is
    int longestWidth_ = 0;
    std::shared_ptr<const PacketStore> packets_;
};
