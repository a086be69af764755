#pragma once

// The process status interface the lists and the Modules window read:
// enumerate processes, open one, and query its modules and memory.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A module is named by its path as the kernel reports it.
using ModuleHandle = std::string;

struct MemoryCounters {
    uint64_t WorkingSetSize = 0;     // bytes
    uint64_t PeakWorkingSetSize = 0; // bytes
};

// An opened process. Every query reads the process it was opened for, even if
// its identifier has been reused meanwhile; a failed query is nullopt.
class ProcessHandle {
  public:
    virtual ~ProcessHandle() = default;
    // The executable; fails for kernel threads and processes we may not inspect.
    virtual std::optional<ModuleHandle> FirstModule() = 0;
    // Every module, the executable first.
    virtual std::optional<std::vector<ModuleHandle>> EnumProcessModules() = 0;
    virtual std::optional<std::string> GetModuleBaseName(const ModuleHandle& module) = 0;
    virtual std::optional<std::string> GetModuleFileName(const ModuleHandle& module) = 0;
    virtual std::optional<MemoryCounters> GetProcessMemoryInfo() = 0;
    // The clock tick after boot at which the process started; readable for
    // every process.
    virtual std::optional<uint64_t> StartTime() = 0;
    // The text of /proc/PID/cgroup, which every user may read.
    virtual std::optional<std::string> ReadCgroup() { return std::nullopt; }
    // /proc/PID/cmdline: the arguments, each ended by a NUL; world-readable.
    virtual std::optional<std::string> ReadCommandLine() { return std::nullopt; }
};

// The lists read processes from a worker thread as well as from the window
// thread, so the calls may come from two threads at once.
class ProcessApi {
  public:
    virtual ~ProcessApi() = default;
    // At most maxCount identifiers, in ascending order; nullopt on failure.
    virtual std::optional<std::vector<uint32_t>> EnumProcesses(size_t maxCount) = 0;
    // Null when the process cannot be opened for query and read access.
    virtual std::unique_ptr<ProcessHandle> OpenProcess(uint32_t pid) = 0;
    // The cgroup v2 path of a cgroup id (its directory's inode), as
    // /proc/PID/cgroup writes it.
    virtual std::optional<std::string> CgroupPathOfId(uint64_t) { return std::nullopt; }
    // The names of the files in /var/log/containers, where the kubelet links
    // each container's log as <pod>_<namespace>_<container>-<id>.log.
    virtual std::vector<std::string> KubernetesLogNames() { return {}; }
};

} // namespace platform
