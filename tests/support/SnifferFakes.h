#pragma once

// Stand-ins for the sniffer's platform: a clock with fixed texts, the real
// file system rooted in a temporary directory, and a capture socket fed by
// the test.

#include "platform/CaptureApi.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LocalClock.h"

#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <new>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

struct FixedClock : platform::LocalClock {
    std::string TimeToStr() override { return "14:03:07"; }
    std::string DateToStr() override { return "01/11/2026"; }
};

// A fresh directory, removed with everything in it at the end.
struct TempDirectory {
    std::filesystem::path path() const { return directory_.path().toStdString(); }
    QTemporaryDir directory_;
};

// The real file system, with the executable taken to live in a temporary
// directory, and optionally without a no-replace rename, as some network and
// FUSE file systems are.
struct TempExecutableFiles : platform::LinuxFileSystem {
    std::string ExecutableDirectory() override { return directory_.path().string() + "/"; }
    std::filesystem::path dumps() const { return directory_.path() / "dumps"; }
    int RenameNoReplace(const std::string& oldPath, const std::string& newPath) override {
        if (noReplaceRename)
            return LinuxFileSystem::RenameNoReplace(oldPath, newPath);
        errno = EINVAL;
        return -1;
    }
    TempDirectory directory_;
    bool noReplaceRename = true;
};

// A capture API whose set-up steps succeed or fail as told, and whose socket
// hands out the packets the test feeds; an empty one is a failed receive.
class FakeCaptureApi : public platform::CaptureApi {
  public:
    enum class Failure { None, Startup, Socket, Bind, ReceiveAll };

    FakeCaptureApi() { socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends_); }
    ~FakeCaptureApi() override {
        close(ends_[0]);
        close(ends_[1]);
    }

    void Feed(const std::vector<uint8_t>& packet) {
        send(ends_[0], packet.data(), packet.size(), 0);
    }

    int WSAStartup(uint16_t) override { return failure == Failure::Startup ? 10091 : 0; }
    std::unique_ptr<platform::PacketSocket> OpenRawSocket() override {
        if (failure == Failure::Socket)
            return nullptr;
        return std::make_unique<Socket>(*this);
    }

    Failure failure = Failure::None;
    std::atomic<bool> receiveThrows = false; // as when memory runs out
    std::atomic<bool> socketOpen = false;
    std::atomic<uint64_t> drops = 0;     // what the socket reports as dropped
    std::atomic<uint64_t> uncounted = 0; // and what only a fresh count adds

  private:
    struct Socket : platform::PacketSocket {
        explicit Socket(FakeCaptureApi& api) : api(api) { api.socketOpen = true; }
        ~Socket() override { api.socketOpen = false; }
        bool Bind(uint32_t) override { return api.failure != Failure::Bind; }
        bool ReceiveAll(const std::vector<sock_filter>&) override {
            return api.failure != Failure::ReceiveAll;
        }
        bool ReplaceFilter(const std::vector<sock_filter>&) override { return true; }
        int Receive(uint8_t* buffer, int length, timespec&) override {
            if (api.receiveThrows)
                throw std::bad_alloc();
            return static_cast<int>(recv(api.ends_[1], buffer, static_cast<size_t>(length), 0));
        }
        uint64_t Drops() override { return api.drops; }
        uint64_t CountDrops() override { return api.drops + api.uncounted; }
        FakeCaptureApi& api;
    };

    int ends_[2];
};
