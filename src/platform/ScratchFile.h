#pragma once

// Private scratch files that vanish however the program ends: each is
// created already unlinked, readable by its owner only, in the user's cache
// directory. Never in /tmp, which may be a tmpfs held in memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// $XDG_CACHE_HOME/quillmark, else ~/.cache/quillmark; created, owner-only,
// when missing.
std::string ScratchDirectory();

struct DiskSpace {
    uint64_t size = 0;      // of the whole file system
    uint64_t available = 0; // to this user
    bool inMemory = false;  // a tmpfs or ramfs
};
// The file system that holds path; all zero when it cannot be told.
DiskSpace SpaceOf(const std::string& path);

class ScratchFile {
  public:
    // A new file of reserve bytes set aside on disk, so a full disk shows
    // here rather than in a later write; null with errno set on failure.
    static std::unique_ptr<ScratchFile> Create(const std::string& directory, uint64_t reserve);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Writes all of bytes at offset: 0, or errno. A failed write may be
    // tried again at the same offset.
    int Write(uint64_t offset, const void* bytes, size_t size);
    int handle() const { return fd_; }
    // Reads up to size bytes at offset; the count read, or -1 with errno.
    ptrdiff_t Read(uint64_t offset, void* bytes, size_t size) const;
    // Puts the file's first size bytes at path in place of whatever was
    // there, without copying them: the reserve beyond them is cut and the
    // file gets that name. 0, or errno (EXDEV when path is on another file
    // system). The file must never be written again; once named, it is not
    // named again, and a second save copies it.
    int LinkAs(const std::string& path, uint64_t size);

  private:
    explicit ScratchFile(int fd) : fd_(fd) {}
    int fd_;
    bool linkable_ = false; // made with O_TMPFILE, so it can be given a name
};

} // namespace platform
