#include "OwnerOnlySaveFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

// mkostemp creates the file 0600 less the umask. The mode is then set to
// 0600 exactly, so the owner can read what he saved whatever his umask; a
// file system that refuses the mode makes the save fail.
bool OwnerOnlySaveFile::open() {
    temporary_ = path_ + ".XXXXXX";
    fd_ = mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        return Fail();
    }
    return fchmod(fd_, S_IRUSR | S_IWUSR) == 0 || Fail();
}

// A short write is retried, so a full disk or a file size limit ends in its
// reason rather than in a silently short file.
bool OwnerOnlySaveFile::write(const void* bytes, size_t size) {
    const auto* next = static_cast<const char*>(bytes);
    while (size > 0 && fd_ >= 0) {
        const ssize_t written = ::write(fd_, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return Fail();
        next += written;
        size -= static_cast<size_t>(written);
    }
    return fd_ >= 0;
}

// A file system that cannot copy between the two files inside the kernel
// gets the bytes through this process.
bool OwnerOnlySaveFile::copyFrom(int fd, uint64_t offset, size_t size) {
    auto from = static_cast<off64_t>(offset);
    while (size > 0 && fd_ >= 0) {
        const ssize_t copied = copy_file_range(fd, &from, fd_, nullptr, size, 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            std::vector<char> block(size);
            return pread(fd, block.data(), size, from) == static_cast<ssize_t>(size)
                       ? write(block.data(), size)
                       : Fail();
        }
        if (copied <= 0)
            return copied < 0 ? Fail() : (errno = EIO, Fail());
        size -= static_cast<size_t>(copied);
    }
    return fd_ >= 0;
}

bool OwnerOnlySaveFile::commit() {
    if (fd_ < 0)
        return false;
    if (fdatasync(fd_) != 0 || close(std::exchange(fd_, -1)) != 0 ||
        rename(temporary_.c_str(), path_.c_str()) != 0)
        return Fail();
    temporary_.clear();
    return true;
}

bool OwnerOnlySaveFile::Fail() {
    error_ = std::strerror(errno);
    Discard();
    return false;
}

void OwnerOnlySaveFile::Discard() {
    if (fd_ >= 0)
        close(std::exchange(fd_, -1));
    if (!temporary_.empty())
        unlink(temporary_.c_str());
    temporary_.clear();
}

} // namespace platform
