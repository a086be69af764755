#pragma once

// A file that only its owner may read, saved whole or not at all: it is
// written under a temporary name beside its path and takes that name on
// commit. The temporary file is the owner's alone from its creation on, so
// no one else can open it while it fills; a file written with QSaveFile
// would be created as the umask allows (0644 as a rule) and narrowed only
// later.

#include <cstdint>
#include <string>

namespace platform {

class OwnerOnlySaveFile {
  public:
    explicit OwnerOnlySaveFile(std::string path) : path_(std::move(path)) {}
    OwnerOnlySaveFile(const OwnerOnlySaveFile&) = delete;
    OwnerOnlySaveFile& operator=(const OwnerOnlySaveFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~OwnerOnlySaveFile() { Discard(); }

    // Each step returns false once one has failed, and errorString says why;
    // the temporary file is gone then.
    bool open();
    bool write(const void* bytes, size_t size);
    // Appends size bytes of the file fd holds, from offset on, copied
    // inside the kernel where it can.
    bool copyFrom(int fd, uint64_t offset, size_t size);
    // Puts the file on disk and in place of whatever path named.
    bool commit();
    // The temporary file's descriptor while it is open, else -1.
    int handle() const { return fd_; }
    const std::string& errorString() const { return error_; }

  private:
    // Notes errno as the reason; false.
    bool Fail();
    // Closes and removes the temporary file, if there is one.
    void Discard();

    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    std::string error_;
};

} // namespace platform
