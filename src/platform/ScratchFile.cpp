#include "ScratchFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace platform {

std::string ScratchDirectory() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (cache && cache[0] == '/') {
        base = cache;
    } else {
        const char* home = std::getenv("HOME");
        const passwd* user = home && home[0] == '/' ? nullptr : getpwuid(getuid());
        base = std::string(user ? user->pw_dir : home ? home : "") + "/.cache";
        mkdir(base.c_str(), 0700);
    }
    const std::string directory = base + "/quillmark";
    mkdir(directory.c_str(), 0700);
    return directory;
}

DiskSpace SpaceOf(const std::string& path) {
    struct statfs info {};
    if (statfs(path.c_str(), &info) != 0)
        return {};
    const auto block = static_cast<uint64_t>(info.f_bsize);
    return {block * info.f_blocks, block * info.f_bavail,
            info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC};
}

// mkstemp's name is removed at once where the file system has no
// O_TMPFILE; such a file cannot be given a name again.
std::unique_ptr<ScratchFile> ScratchFile::Create(const std::string& directory, uint64_t reserve) {
    bool linkable = true;
    int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string name = directory + "/scratch-XXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            unlink(name.c_str());
        linkable = false;
    }
    if (fd < 0)
        return nullptr;
    std::unique_ptr<ScratchFile> file(new ScratchFile(fd));
    file->linkable_ = linkable;
    if (fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        return nullptr;
    if (const int error = posix_fallocate(fd, 0, static_cast<off_t>(reserve))) {
        errno = error;
        return nullptr;
    }
    return file;
}

ScratchFile::~ScratchFile() {
    close(fd_);
}

int ScratchFile::Write(uint64_t offset, const void* bytes, size_t size) {
    const auto* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = pwrite(fd_, next, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        next += written;
        offset += static_cast<uint64_t>(written);
        size -= static_cast<size_t>(written);
    }
    return 0;
}

ptrdiff_t ScratchFile::Read(uint64_t offset, void* bytes, size_t size) const {
    ssize_t read;
    do
        read = pread(fd_, bytes, size, static_cast<off_t>(offset));
    while (read < 0 && errno == EINTR);
    return read;
}

// The name is given under a temporary name beside path and then takes
// path's place, so the file appears there whole or not at all.
int ScratchFile::LinkAs(const std::string& path, uint64_t size) {
    if (!linkable_)
        return EXDEV;
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0 || fdatasync(fd_) != 0)
        return errno;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (unsigned attempt = 0;; ++attempt) {
        const std::string temporary =
            path + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (rename(temporary.c_str(), path.c_str()) != 0) {
            const int error = errno;
            unlink(temporary.c_str());
            return error;
        }
        linkable_ = false;
        return 0;
    }
}

} // namespace platform
