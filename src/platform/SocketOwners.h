#pragma once

// Which process holds which socket, from the /proc/PID/fd links (proc(5)).

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// The inode of a /proc/PID/fd link target "socket:[N]"; nullopt for any other
// target. Socket inodes are 32-bit, as inet_diag_msg reports them.
std::optional<uint32_t> SocketLinkInode(std::string_view target);

struct SocketHolder {
    uint32_t inode = 0;
    uint32_t pid = 0;
};

// Socket inode to owning process. A socket shared by several processes (after
// fork, or passed over a Unix socket) belongs to the lowest PID, which is
// usually the one that created it.
class SocketOwnerMap {
  public:
    explicit SocketOwnerMap(std::vector<SocketHolder> holders);
    // 0 when no process holds the socket, and for inode 0, which no open
    // socket has (TIME_WAIT and request sockets report it).
    uint32_t OwnerOf(uint32_t inode) const;

  private:
    std::vector<SocketHolder> holders_; // one per inode, by inode
};

// One walk of /proc/*/fd. Processes that end meanwhile or whose fd directory
// may not be read are passed over: their sockets show no owner.
SocketOwnerMap ScanSocketOwners();

} // namespace platform
