#include "SocketOwners.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

std::optional<uint32_t> SocketLinkInode(std::string_view target) {
    constexpr std::string_view prefix = "socket:[";
    if (!target.starts_with(prefix) || !target.ends_with(']'))
        return std::nullopt;
    const std::string_view digits = target.substr(prefix.size(), target.size() - prefix.size() - 1);
    uint32_t inode = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), inode);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return inode;
}

SocketOwnerMap::SocketOwnerMap(std::vector<SocketHolder> holders) : holders_(std::move(holders)) {
    std::sort(holders_.begin(), holders_.end(), [](const SocketHolder& a, const SocketHolder& b) {
        return a.inode != b.inode ? a.inode < b.inode : a.pid < b.pid;
    });
    const auto sameInode = [](const SocketHolder& a, const SocketHolder& b) {
        return a.inode == b.inode;
    };
    holders_.erase(std::unique(holders_.begin(), holders_.end(), sameInode), holders_.end());
}

uint32_t SocketOwnerMap::OwnerOf(uint32_t inode) const {
    if (inode == 0)
        return 0;
    const auto found = std::lower_bound(
        holders_.begin(), holders_.end(), inode,
        [](const SocketHolder& holder, uint32_t wanted) { return holder.inode < wanted; });
    return found != holders_.end() && found->inode == inode ? found->pid : 0;
}

namespace {

std::optional<uint32_t> ProcessId(std::string_view name) {
    uint32_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end != name.data() + name.size() || pid == 0)
        return std::nullopt;
    return pid;
}

// The sockets among one process's open files. A link target longer than the
// buffer is a path, never "socket:[N]", so a short fixed buffer serves.
void AddHolders(int procFd, uint32_t pid, std::vector<SocketHolder>& holders) {
    char path[32];
    std::snprintf(path, sizeof path, "%u/fd", pid);
    const int fdDirFd = openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDirFd < 0)
        return;
    DIR* fdDir = fdopendir(fdDirFd);
    if (!fdDir) {
        close(fdDirFd);
        return;
    }
    while (const dirent* entry = readdir(fdDir)) {
        char target[32];
        const ssize_t got = readlinkat(fdDirFd, entry->d_name, target, sizeof target);
        if (got <= 0 || static_cast<size_t>(got) == sizeof target)
            continue;
        if (const auto inode = SocketLinkInode({target, static_cast<size_t>(got)}))
            holders.push_back({*inode, pid});
    }
    closedir(fdDir);
}

} // namespace

SocketOwnerMap ScanSocketOwners() {
    std::vector<SocketHolder> holders;
    DIR* proc = opendir("/proc");
    if (!proc)
        return SocketOwnerMap({});
    while (const dirent* entry = readdir(proc))
        if (const auto pid = ProcessId(entry->d_name))
            AddHolders(dirfd(proc), *pid, holders);
    closedir(proc);
    return SocketOwnerMap(std::move(holders));
}

} // namespace platform
