#include "LinuxFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string LinuxFileSystem::ExecutableDirectory() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) == sizeof path)
        return "./";
    const std::string executable(path, static_cast<size_t>(length));
    return executable.substr(0, executable.rfind('/') + 1);
}

bool LinuxFileSystem::DirectoryExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool LinuxFileSystem::CreateDir(const std::string& path) {
    return mkdir(path.c_str(), 0700) == 0;
}

bool LinuxFileSystem::FileExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int LinuxFileSystem::RenameNoReplace(const std::string& oldPath, const std::string& newPath) {
    return renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE);
}

// Where the file system has no no-replace rename (EINVAL on some network and
// FUSE file systems), a hard link, which fails when the new name exists,
// then the removal of the old name, never replace a file either.
bool LinuxFileSystem::RenameFile(const std::string& oldPath, const std::string& newPath) {
    if (RenameNoReplace(oldPath, newPath) == 0)
        return true;
    if ((errno != EINVAL && errno != ENOSYS) || link(oldPath.c_str(), newPath.c_str()) != 0)
        return false;
    if (unlink(oldPath.c_str()) == 0)
        return true;
    unlink(newPath.c_str()); // one name for the file, as before
    return false;
}

// O_NONBLOCK keeps a FIFO planted at path from stalling the capture; only a
// regular file is written.
bool LinuxFileSystem::AppendToFile(const std::string& path, std::string_view bytes) {
    const int fd = open(path.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat info {};
    bool written = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    while (written && !bytes.empty()) {
        const ssize_t count = write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR)
            continue;
        written = count > 0;
        if (written)
            bytes.remove_prefix(static_cast<size_t>(count));
    }
    close(fd);
    return written;
}

} // namespace platform
