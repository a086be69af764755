#include "WindowMessages.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace platform {

// Signalled when the event is destroyed: after its handler ran, or when Qt
// discards it because the window was deleted first.
struct Delivery {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

namespace {
std::mutex windowMutex;
QObject* mainWindow = nullptr;
} // namespace

WindowMessageEvent::WindowMessageEvent(int message, uintptr_t wParam, intptr_t lParam)
    : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}

WindowMessageEvent::~WindowMessageEvent() {
    if (!delivery_)
        return;
    std::lock_guard lock(delivery_->mutex);
    delivery_->finished = true;
    delivery_->done.notify_one();
}

void SetMainWindow(QObject* window) {
    std::lock_guard lock(windowMutex);
    mainWindow = window;
}

// Posts the message to the main window with delivery attached; false when
// there is no window, or it lives on this very thread and so must be handled
// at once: posting and then waiting there could never return.
bool PostToWindow(QObject*& window, int message, uintptr_t wParam, intptr_t lParam,
                  Delivery& delivery) {
    std::lock_guard lock(windowMutex);
    window = mainWindow;
    if (!window || window->thread() == QThread::currentThread())
        return false;
    auto* event = new WindowMessageEvent(message, wParam, lParam);
    event->delivery_ = &delivery;
    QCoreApplication::postEvent(window, event);
    return true;
}

void SendMessageA(int message, uintptr_t wParam, intptr_t lParam) {
    Delivery delivery;
    QObject* window = nullptr;
    if (!PostToWindow(window, message, wParam, lParam, delivery)) {
        if (window) {
            WindowMessageEvent event(message, wParam, lParam);
            QCoreApplication::sendEvent(window, &event);
        }
        return;
    }
    std::unique_lock lock(delivery.mutex);
    delivery.done.wait(lock, [&] { return delivery.finished; });
}

} // namespace platform
