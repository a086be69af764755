#include "ProcessControl.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
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
    explicit PidfdTarget(int fd) : fd_(fd) {}
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

  private:
    int fd_;
};

class PidfdControl : public ProcessControl {
  public:
    std::unique_ptr<SignalTarget> Open(uint32_t pid) override {
        const int fd = pid == 0 ? -1 : PidfdOpen(static_cast<pid_t>(pid));
        if (fd < 0)
            return nullptr;
        return std::make_unique<PidfdTarget>(fd);
    }
};

} // namespace

ProcessControl& SystemProcessControl() {
    static PidfdControl control;
    return control;
}

} // namespace platform
