#include "WindowMessages.h"

#include <QCoreApplication>
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

void SendMessageA(int message, uintptr_t wParam, intptr_t lParam) {
    Delivery delivery;
    {
        std::lock_guard lock(windowMutex);
        if (!mainWindow)
            return;
        auto* event = new WindowMessageEvent(message, wParam, lParam);
        event->delivery_ = &delivery;
        QCoreApplication::postEvent(mainWindow, event);
    }
    std::unique_lock lock(delivery.mutex);
    delivery.done.wait(lock, [&] { return delivery.finished; });
}

} // namespace platform
