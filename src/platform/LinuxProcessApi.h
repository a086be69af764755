#pragma once

#include "ProcessApi.h"

namespace platform {

// The process status interface on /proc. A process handle is a directory
// descriptor on /proc/PID; every read goes through it (openat, readlinkat).
class LinuxProcessApi : public ProcessApi {
  public:
    std::optional<std::vector<uint32_t>> EnumProcesses(size_t maxCount) override;
    std::unique_ptr<ProcessHandle> OpenProcess(uint32_t pid) override;
};

} // namespace platform
