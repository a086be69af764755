#pragma once

// Ending processes: a process is opened once and then signalled, so a
// signal never reaches another process that took over its identifier.

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

enum class SignalResult { Sent, NotPermitted, Ended, Failed };

// A process held open since Open; it stays this very process after it ended.
class SignalTarget {
  public:
    virtual ~SignalTarget() = default;
    virtual SignalResult Send(int signal) = 0;
    // Whether the process has ended; never waits.
    virtual bool HasEnded() = 0;
    // The process's start time as ProcessHandle gives it; nullopt once it
    // has ended.
    virtual std::optional<uint64_t> StartTime() = 0;
};

class ProcessControl {
  public:
    virtual ~ProcessControl() = default;
    // Null when no process runs under pid.
    virtual std::unique_ptr<SignalTarget> Open(uint32_t pid) = 0;
};

// Process file descriptors (pidfd) of the running kernel.
ProcessControl& SystemProcessControl();

} // namespace platform
