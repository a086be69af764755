#pragma once

// Readers of /proc text, kept apart from the I/O so they can be fed fixtures.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::procfs {

// The value of a "Key:   N kB" line of /proc/PID/status, in bytes.
std::optional<uint64_t> StatusBytes(std::string_view status, std::string_view key);

// A file as a maps line names it: device major and minor, and inode.
struct FileId {
    unsigned major = 0;
    unsigned minor = 0;
    uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// The paths of /proc/PID/maps lines with an executable, file-backed mapping,
// each once, in address order, leaving out the mappings of the file except.
std::vector<std::string> ExecutableMappings(std::string_view maps,
                                            std::optional<FileId> except = std::nullopt);

// The start time of /proc/PID/stat: the clock tick after boot at which the
// process started. With its identifier it names one process for good.
std::optional<uint64_t> StatStartTime(std::string_view stat);

// The last path component ("" for an empty path).
std::string BaseName(std::string_view path);

// The whole content of a file relative to a directory descriptor.
std::optional<std::string> ReadFileAt(int dirFd, const char* name);

// The target of a symbolic link relative to a directory descriptor.
std::optional<std::string> ReadLinkAt(int dirFd, const char* name);

} // namespace platform::procfs
