#include "LinuxProcessApi.h"

#include "ProcFs.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class ProcDirHandle : public ProcessHandle {
  public:
    explicit ProcDirHandle(int dirFd) : dirFd_(dirFd) {}
    ~ProcDirHandle() override { close(dirFd_); }
    ProcDirHandle(const ProcDirHandle&) = delete;
    ProcDirHandle& operator=(const ProcDirHandle&) = delete;

    std::optional<ModuleHandle> FirstModule() override { return procfs::ReadLinkAt(dirFd_, "exe"); }

    std::optional<std::vector<ModuleHandle>> EnumProcessModules() override {
        auto exe = FirstModule();
        auto maps = procfs::ReadFileAt(dirFd_, "maps");
        if (!exe || !maps)
            return std::nullopt;
        // maps escapes a newline in a path as \012 where the exe link does
        // not, so the executable's own mappings are known by device and
        // inode too; the path alone still tells them where those differ
        // (btrfs subvolumes, overlayfs).
        std::vector<ModuleHandle> modules{*exe};
        for (auto& path : procfs::ExecutableMappings(*maps, ExecutableFile()))
            if (path != *exe)
                modules.push_back(std::move(path));
        return modules;
    }

    std::optional<std::string> GetModuleBaseName(const ModuleHandle& module) override {
        return procfs::BaseName(module);
    }

    std::optional<std::string> GetModuleFileName(const ModuleHandle& module) override {
        return module;
    }

    std::optional<MemoryCounters> GetProcessMemoryInfo() override {
        const auto status = procfs::ReadFileAt(dirFd_, "status");
        if (!status)
            return std::nullopt;
        const auto rss = procfs::StatusBytes(*status, "VmRSS");
        const auto hwm = procfs::StatusBytes(*status, "VmHWM");
        if (!rss || !hwm)
            return std::nullopt;
        return MemoryCounters{*rss, *hwm};
    }

    std::optional<uint64_t> StartTime() override {
        const auto stat = procfs::ReadFileAt(dirFd_, "stat");
        return stat ? procfs::StatStartTime(*stat) : std::nullopt;
    }

    std::optional<std::string> ReadCgroup() override {
        return procfs::ReadFileAt(dirFd_, "cgroup");
    }

    std::optional<std::string> ReadCommandLine() override {
        return procfs::ReadFileAt(dirFd_, "cmdline");
    }

  private:
    // Asked of the inode in memory, which a running executable always has:
    // a plain stat through exe may ask the file's server first, and one that
    // cannot be reached (a hung NFS mount) would hang the window.
    std::optional<procfs::FileId> ExecutableFile() const {
        struct statx info {};
        if (statx(dirFd_, "exe", AT_STATX_DONT_SYNC, STATX_INO, &info) != 0)
            return std::nullopt;
        return procfs::FileId{info.stx_dev_major, info.stx_dev_minor, info.stx_ino};
    }

    int dirFd_;
};

std::optional<uint32_t> ParsePid(const char* name) {
    const char* end = name + std::strlen(name);
    uint32_t pid = 0;
    auto [ptr, ec] = std::from_chars(name, end, pid);
    if (ec != std::errc() || ptr != end || name == end)
        return std::nullopt;
    return pid;
}

} // namespace

std::optional<std::vector<uint32_t>> LinuxProcessApi::EnumProcesses(size_t maxCount) {
    DIR* proc = opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::vector<uint32_t> pids;
    while (const dirent* entry = readdir(proc))
        if (const auto pid = ParsePid(entry->d_name))
            pids.push_back(*pid);
    closedir(proc);
    std::sort(pids.begin(), pids.end());
    if (pids.size() > maxCount)
        pids.resize(maxCount);
    return pids;
}

std::unique_ptr<ProcessHandle> LinuxProcessApi::OpenProcess(uint32_t pid) {
    const std::string path = "/proc/" + std::to_string(pid);
    const int dirFd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return nullptr;
    return std::make_unique<ProcDirHandle>(dirFd);
}

// The mount is looked up at each reading, as it may come or go.
CgroupTree LinuxProcessApi::ReadCgroups() {
    const int self = open("/proc/self", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (self < 0)
        return {};
    const auto mountinfo = procfs::ReadFileAt(self, "mountinfo");
    close(self);
    const auto mount = mountinfo ? FindCgroup2Mount(*mountinfo) : std::nullopt;
    return mount ? ReadCgroupTree(*mount) : CgroupTree{};
}

std::optional<std::string> LinuxProcessApi::CgroupPathOfId(uint64_t id) {
    return cgroups_.PathOf(id);
}

std::vector<std::string> LinuxProcessApi::KubernetesLogNames() {
    std::vector<std::string> names;
    DIR* logs = opendir("/var/log/containers");
    if (!logs)
        return names;
    while (const dirent* entry = readdir(logs))
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    closedir(logs);
    return names;
}

} // namespace platform
