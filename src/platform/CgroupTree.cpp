#include "CgroupIds.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Adds the groups below the open directory; a directory's inode, as readdir
// gives it, is its cgroup id. Closes dirFd.
void AddGroupsBelow(int dirFd, const std::string& path, CgroupTree& tree) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (entry->d_type != DT_DIR || name == "." || name == "..")
            continue;
        const std::string child = (path == "/" ? "" : path) + "/" + entry->d_name;
        tree.emplace(entry->d_ino, child);
        const int childFd = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (childFd >= 0)
            AddGroupsBelow(childFd, child, tree);
    }
    closedir(dir);
}

} // namespace

CgroupTree ReadCgroupTree(const Cgroup2Mount& mount) {
    CgroupTree tree;
    const int top = open(mount.mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (top < 0)
        return tree;
    if (fstat(top, &info) != 0) {
        close(top);
        return tree;
    }
    tree.emplace(info.st_ino, mount.root);
    AddGroupsBelow(top, mount.root, tree);
    return tree;
}

} // namespace platform
