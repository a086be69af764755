#pragma once

// Waiting in the event loop: for a condition, or for a modal window.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs the event loop until done() holds or timeoutMs pass; whether it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs open, which is expected to show a modal window; inspect sees that
// window while it is open, then it is closed. Returns whether one opened
// within two seconds.
inline bool WithModalWindow(const std::function<void()>& open,
                            const std::function<void(QWidget&)>& inspect) {
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            opened = true;
            poll.stop();
            inspect(*window);
            window->close();
        }
    });
    poll.start(5);
    open();
    return WaitUntil([&] { return opened; }, 2000);
}
