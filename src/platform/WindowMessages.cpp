#include "WindowMessages.h"

#include <QCoreApplication>
#include <QThread>
#include <cerrno>
#include <mutex>
#include <semaphore.h>
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace platform {

// Posted when the event is destroyed: after its handler ran, or when Qt
// discards it because the window was deleted first. A POSIX semaphore wakes
// the sender with one futex call, where a mutex and condition variable make
// it wake and then block again on the mutex: one more thread switch per
// line, which the capture pays twice per packet. glibc lets the waiter
// destroy the semaphore as soon as sem_wait returns.
struct Delivery {
    Delivery() { sem_init(&done, 0, 0); }
    ~Delivery() { sem_destroy(&done); }
    void Wait() {
        while (sem_wait(&done) != 0 && errno == EINTR) {
        }
    }
    sem_t done;
};

namespace {
std::mutex windowMutex;
QObject* mainWindow = nullptr;
} // namespace

// A ThreadSanitizer build stands this byte in for the lock of Qt's event
// queue; other builds need nothing.
#if defined(__SANITIZE_THREAD__)
static char messageQueue;
static void MessageQueueReleased() {
    __tsan_release(&messageQueue);
}
void MessageQueueAcquired() {
    __tsan_acquire(&messageQueue);
}
#else
static void MessageQueueReleased() {}
void MessageQueueAcquired() {}
#endif

WindowMessageEvent::WindowMessageEvent(int message, uintptr_t wParam, intptr_t lParam)
    : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}

// Qt may discard a message outside any event's handling.
WindowMessageEvent::~WindowMessageEvent() {
    MessageQueueAcquired();
    if (delivery_)
        sem_post(&delivery_->done);
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
    MessageQueueReleased();
    QCoreApplication::postEvent(window, event);
    return true;
}

void PostEvent(QObject* receiver, QEvent* event) {
    MessageQueueReleased();
    QCoreApplication::postEvent(receiver, event);
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
    delivery.Wait();
}

} // namespace platform
