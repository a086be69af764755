#pragma once

#include "ListRow.h"

#include <QObject>
#include <functional>
#include <thread>

// Builds a list's rows on a thread of its own, one build at a time, and hands
// them to the object's own (window) thread, so a rebuild of tens of thousands
// of rows never holds up clicks and scrolling. A build reads only the
// operating system, never a widget.
class RowFetch : public QObject {
    Q_OBJECT

  public:
    using Build = std::function<ListRows()>;
    using Done = std::function<void(ListRows)>;

    explicit RowFetch(QObject* parent = nullptr) : QObject(parent) {}
    // Waits for a build still running; its rows are dropped.
    ~RowFetch() override;

    // Starts build unless one is still running (false then). done gets the
    // rows in the window thread; a build that throws hands over nothing. When
    // no thread can be had it throws, and the next start tries again.
    bool start(Build build, Done done);

  private:
    std::thread worker_;
    bool running_ = false;
};
