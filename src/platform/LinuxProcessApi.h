#pragma once

#include "CgroupIds.h"
#include "ProcessApi.h"

namespace platform {

// The process status interface on /proc. A process handle is a directory
// descriptor on /proc/PID; every read goes through it (openat, readlinkat).
class LinuxProcessApi : public ProcessApi {
  public:
    std::optional<std::vector<uint32_t>> EnumProcesses(size_t maxCount) override;
    std::unique_ptr<ProcessHandle> OpenProcess(uint32_t pid) override;
    std::optional<std::string> CgroupPathOfId(uint64_t id) override;
    std::vector<std::string> KubernetesLogNames() override;

  private:
    CgroupPaths cgroups_{ReadCgroups};
    static CgroupTree ReadCgroups();
};

} // namespace platform
