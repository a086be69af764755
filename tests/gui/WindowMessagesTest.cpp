#include "platform/WindowMessages.h"

#include "support/EventWait.h"

#include <QObject>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using platform::SendMessageA;
using platform::SetMainWindow;

namespace {

constexpr int kMessage = 0x8190;

// Stands in for the main window: notes each message and how many sends had
// returned when it was handled.
class Receiver : public QObject {
  public:
    explicit Receiver(const std::atomic<int>& returned) : returned_(returned) {
        SetMainWindow(this);
    }
    ~Receiver() override { SetMainWindow(nullptr); }

    bool event(QEvent* event) override {
        if (static_cast<int>(event->type()) != kMessage)
            return QObject::event(event);
        const auto* message = static_cast<platform::WindowMessageEvent*>(event);
        texts.emplace_back(reinterpret_cast<const char*>(message->wParam));
        returnedWhenHandled.push_back(returned_.load());
        return true;
    }

    std::vector<std::string> texts;
    std::vector<int> returnedWhenHandled;

  private:
    const std::atomic<int>& returned_;
};

void Send(const char* text) {
    SendMessageA(kMessage, reinterpret_cast<uintptr_t>(text), 0);
}

} // namespace

TEST(SendMessageA, DeliversInOrderAndWaitsForEachMessage) {
    std::atomic<int> returned = 0;
    Receiver window(returned);
    std::thread sender([&] {
        for (const char* text : {"first", "", "third"}) {
            Send(text);
            ++returned;
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return returned == 3; }));
    sender.join();
    EXPECT_EQ(window.texts, (std::vector<std::string>{"first", "", "third"}));
    EXPECT_EQ(window.returnedWhenHandled, (std::vector<int>{0, 1, 2}));
}

TEST(SendMessageA, ReleasesTheSenderWhenThereIsNoWindowOrItGoesAway) {
    Send("nobody listens"); // returns at once

    std::atomic<int> returned = 0;
    auto window = std::make_unique<Receiver>(returned);
    std::promise<void> posted;
    std::thread sender([&] {
        posted.set_value();
        Send("never handled");
        ++returned;
    });
    posted.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    window.reset(); // discards the pending message without handling it
    sender.join();
    EXPECT_EQ(returned, 1);
}

TEST(SendMessageA, HandlesAMessageAtOnceOnTheWindowsOwnThread) {
    std::atomic<int> returned = 0;
    Receiver window(returned);
    Send("same thread");
    EXPECT_EQ(window.texts, (std::vector<std::string>{"same thread"}));
}

TEST(SendMessageA, LooksTheWindowUpAtEveryCall) {
    std::atomic<int> returned = 0;
    Receiver first(returned);
    Receiver second(returned); // now the main window
    std::thread([] { Send("to the second"); }).detach();
    ASSERT_TRUE(WaitUntil([&] { return !second.texts.empty(); }));
    EXPECT_TRUE(first.texts.empty());
}
