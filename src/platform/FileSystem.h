#pragma once

// The file operations of the dump log, and where the program lives.

#include <string>
#include <string_view>

namespace platform {

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // The directory of the running executable, ending in '/'.
    virtual std::string ExecutableDirectory() = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    // Creates one directory level, readable by its owner only.
    virtual bool CreateDir(const std::string& path) = 0;
    // Whether something other than a directory exists at path; a symbolic
    // link counts as itself, not as what it points to.
    virtual bool FileExists(const std::string& path) = 0;
    // Fails, and changes nothing, when newPath already exists.
    virtual bool RenameFile(const std::string& oldPath, const std::string& newPath) = 0;
    // Appends bytes to the regular file at path, created owner-only when
    // missing; a symbolic link at path is never followed. False when the
    // bytes could not all be written.
    virtual bool AppendToFile(const std::string& path, std::string_view bytes) = 0;
};

} // namespace platform
