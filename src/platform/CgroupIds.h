#pragma once

// The cgroup v2 path of a cgroup id, the inode of the group's directory in
// the cgroup2 file system, which sock_diag gives for a socket whose owner we
// cannot see.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace platform {

// Where a /proc/self/mountinfo text mounts the cgroup2 file system, and which
// of its directories that mount shows; nullopt where none is mounted.
struct Cgroup2Mount {
    std::string mountPoint;
    std::string root; // as /proc/PID/cgroup writes it: "/" for the whole tree
    bool operator==(const Cgroup2Mount&) const = default;
};
std::optional<Cgroup2Mount> FindCgroup2Mount(std::string_view mountinfo);

// Each cgroup's id and path ("/" for the top of the mount).
using CgroupTree = std::unordered_map<uint64_t, std::string>;

// Every directory below a cgroup2 mount; empty where it cannot be read.
CgroupTree ReadCgroupTree(const Cgroup2Mount& mount);

// Paths by id, kept between lookups. Ids are never used twice, so the tree is
// read again only for an id that neither the last reading nor an earlier
// miss knows. Safe to call from several threads.
class CgroupPaths {
  public:
    explicit CgroupPaths(std::function<CgroupTree()> read) : read_(std::move(read)) {}
    std::optional<std::string> PathOf(uint64_t id);

  private:
    std::function<CgroupTree()> read_;
    std::mutex mutex_;
    CgroupTree paths_;
    std::unordered_set<uint64_t> missing_;
};

} // namespace platform
