#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs open, which is expected to show a modal window; inspect sees that
// window while it is open, then it is closed. Returns whether one opened
// within two seconds.
inline bool WithModalWindow(const std::function<void()>& open,
                            const std::function<void(QWidget&)>& inspect) {
    bool opened = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            opened = true;
            poll.stop();
            inspect(*window);
            window->close();
        }
    });
    poll.start();
    open();
    QElapsedTimer waited;
    waited.start();
    while (!opened && waited.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return opened;
}
