#include "ProcessControl.h"

#include "ProcFs.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// Called directly: Debian 12's glibc declares the wrappers without C linkage.
int PidfdOpen(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int PidfdSendSignal(int fd, int signal) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0));
}

class PidfdTarget : public SignalTarget {
  public:
    PidfdTarget(int fd, pid_t pid) : fd_(fd), pid_(pid) {}
    ~PidfdTarget() override { close(fd_); }

    SignalResult Send(int signal) override {
        if (PidfdSendSignal(fd_, signal) == 0)
            return SignalResult::Sent;
        switch (errno) {
        case EPERM:
            return SignalResult::NotPermitted;
        case ESRCH:
            return SignalResult::Ended;
        default:
            return SignalResult::Failed;
        }
    }

    // A process descriptor becomes readable when its process has exited.
    bool HasEnded() override {
        pollfd ready{fd_, POLLIN, 0};
        return poll(&ready, 1, 0) == 1;
    }

    // Read under the PID, then known to be this process's: it still ran
    // after the read, so the PID had not passed to another.
    std::optional<uint64_t> StartTime() override {
        const auto stat =
            procfs::ReadFileAt(AT_FDCWD, ("/proc/" + std::to_string(pid_) + "/stat").c_str());
        const auto ticks = stat ? procfs::StatStartTime(*stat) : std::nullopt;
        return HasEnded() ? std::nullopt : ticks;
    }

  private:
    int fd_;
    pid_t pid_;
};

class PidfdControl : public ProcessControl {
  public:
    std::unique_ptr<SignalTarget> Open(uint32_t pid) override {
        const int fd = pid == 0 ? -1 : PidfdOpen(static_cast<pid_t>(pid));
        if (fd < 0)
            return nullptr;
        return std::make_unique<PidfdTarget>(fd, static_cast<pid_t>(pid));
    }
};

} // namespace

ProcessControl& SystemProcessControl() {
    static PidfdControl control;
    return control;
}

} // namespace platform
