#pragma once

// Window messages between the capture thread and the main window, carried as
// Qt custom events whose type is the message number.

#include <QEvent>
#include <cstdint>

class QObject;

namespace platform {

class WindowMessageEvent : public QEvent {
  public:
    WindowMessageEvent(int message, uintptr_t wParam, intptr_t lParam);
    ~WindowMessageEvent() override;

    const uintptr_t wParam;
    const intptr_t lParam;

  private:
    friend bool PostToWindow(QObject*&, int, uintptr_t, intptr_t, struct Delivery&);
    struct Delivery* delivery_ = nullptr;
};

// The window that SendMessageA delivers to; the window must set null before
// it is destroyed.
void SetMainWindow(QObject* window);

// Called by the GUI thread before it handles any event. Qt's event queue
// orders everything a sender wrote before posting a message before the
// window's handling of it, but with a futex lock that ThreadSanitizer cannot
// see in Debian's uninstrumented Qt; in a ThreadSanitizer build this (with
// its counterpart where a message is posted) tells it so, and elsewhere it
// does nothing.
void MessageQueueAcquired();

// Posts event to receiver from any thread, without waiting for it.
void PostEvent(QObject* receiver, QEvent* event);

// Hands the message to the main window and returns once the window has
// handled it, or at once when there is no window or it goes away first.
// Called on the window's own thread, it handles the message directly.
void SendMessageA(int message, uintptr_t wParam, intptr_t lParam);

} // namespace platform
