// SendMessageA on its own; the capture thread's use of it (in order, the
// sender blocked until each line is appended) is SnifferPostLine's test.

#include "platform/WindowMessages.h"

#include "support/EventWait.h"

#include <QObject>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using platform::SendMessageA;

namespace {

constexpr int kMessage = 0x8190;

// Stands in for the main window while it lives: notes each message's text.
class Receiver : public QObject {
  public:
    Receiver() { platform::SetMainWindow(this); }
    ~Receiver() override { platform::SetMainWindow(nullptr); }

    bool event(QEvent* event) override {
        if (static_cast<int>(event->type()) != kMessage)
            return QObject::event(event);
        const auto* message = static_cast<platform::WindowMessageEvent*>(event);
        texts.emplace_back(reinterpret_cast<const char*>(message->wParam));
        return true;
    }

    std::vector<std::string> texts;
};

void Send(const char* text) {
    SendMessageA(kMessage, reinterpret_cast<uintptr_t>(text), 0);
}

} // namespace

TEST(SendMessageA, ReleasesTheSenderWhenThereIsNoWindowOrItGoesAway) {
    Send("nobody listens"); // returns at once

    auto window = std::make_unique<Receiver>();
    std::atomic<bool> returned = false;
    std::thread sender([&] {
        Send("never handled");
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    window.reset(); // discards the pending message without handling it
    sender.join();
}

// A message sent on the window's own thread is handled at once: posting it
// and waiting there could never return.
TEST(SendMessageA, LooksTheWindowUpAtEveryCall) {
    Receiver first;
    Send("to the first");
    EXPECT_EQ(first.texts, std::vector<std::string>{"to the first"});
    Receiver second; // now the main window
    std::thread sender([] { Send("to the second"); });
    EXPECT_TRUE(WaitUntil([&] { return !second.texts.empty(); }));
    sender.join();
    EXPECT_EQ(first.texts.size(), 1u);
}
