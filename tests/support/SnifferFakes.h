#pragma once

// Stand-ins for the sniffer's platform: a clock with fixed texts, the real
// file system rooted in a temporary directory, and a capture socket fed by
// the test.

#include "platform/CaptureApi.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LocalClock.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct FixedClock : platform::LocalClock {
    std::string TimeToStr() override { return "14:03:07"; }
    std::string DateToStr() override { return "01/11/2026"; }
};

// A fresh directory, removed with everything in it at the end.
class TempDirectory {
  public:
    TempDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillmark-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDirectory() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The real file system, with the executable taken to live in a temporary
// directory.
class TempExecutableFiles : public platform::LinuxFileSystem {
  public:
    std::string ExecutableDirectory() override { return directory_.path().string() + "/"; }
    std::filesystem::path dumps() const { return directory_.path() / "dumps"; }

  private:
    TempDirectory directory_;
};

// A capture API whose set-up steps succeed or fail as told, and whose socket
// hands out the packets the test feeds; a fed nullopt is a failed receive.
class FakeCaptureApi : public platform::CaptureApi {
  public:
    enum class Failure { None, Startup, Socket, Bind, ReceiveAll };

    Failure failure = Failure::None;

    void Feed(std::optional<std::vector<uint8_t>> packet) {
        std::lock_guard lock(mutex_);
        packets_.push_back(std::move(packet));
        fed_.notify_one();
    }
    bool socketOpen() {
        std::lock_guard lock(mutex_);
        return socketOpen_;
    }

    int WSAStartup(uint16_t) override { return failure == Failure::Startup ? 10091 : 0; }
    std::unique_ptr<platform::PacketSocket> OpenRawSocket() override {
        if (failure == Failure::Socket)
            return nullptr;
        std::lock_guard lock(mutex_);
        socketOpen_ = true;
        return std::make_unique<Socket>(*this);
    }

  private:
    class Socket : public platform::PacketSocket {
      public:
        explicit Socket(FakeCaptureApi& api) : api_(api) {}
        ~Socket() override {
            std::lock_guard lock(api_.mutex_);
            api_.socketOpen_ = false;
        }
        bool Bind(uint32_t) override { return api_.failure != Failure::Bind; }
        bool ReceiveAll() override { return api_.failure != Failure::ReceiveAll; }
        int Receive(uint8_t* buffer, int length) override { return api_.Take(buffer, length); }

      private:
        FakeCaptureApi& api_;
    };

    int Take(uint8_t* buffer, int length) {
        std::unique_lock lock(mutex_);
        fed_.wait(lock, [&] { return !packets_.empty(); });
        const auto packet = std::move(packets_.front());
        packets_.pop_front();
        if (!packet)
            return -1;
        const int n = std::min(length, static_cast<int>(packet->size()));
        std::copy_n(packet->begin(), n, buffer);
        return n;
    }

    std::mutex mutex_;
    std::condition_variable fed_;
    std::deque<std::optional<std::vector<uint8_t>>> packets_;
    bool socketOpen_ = false;
};
