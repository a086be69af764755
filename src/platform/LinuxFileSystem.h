#pragma once

#include "FileSystem.h"

namespace platform {

// The file system through POSIX calls; the executable is /proc/self/exe.
class LinuxFileSystem : public FileSystem {
  public:
    std::string ExecutableDirectory() override;
    bool DirectoryExists(const std::string& path) override;
    bool CreateDir(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool RenameFile(const std::string& oldPath, const std::string& newPath) override;
    bool AppendToFile(const std::string& path, std::string_view bytes) override;

  protected:
    // renameat2 with RENAME_NOREPLACE: 0, or -1 with errno set.
    virtual int RenameNoReplace(const std::string& oldPath, const std::string& newPath);
};

} // namespace platform
