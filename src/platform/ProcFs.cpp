#include "ProcFs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace platform::procfs {

static std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<uint64_t> StatusBytes(std::string_view status, std::string_view key) {
    size_t pos = 0;
    while (pos < status.size()) {
        const size_t end = std::min(status.find('\n', pos), status.size());
        std::string_view line = status.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= key.size() || line.substr(0, key.size()) != key ||
            line[key.size()] != ':')
            continue;
        // proc(5): VmRSS, VmHWM and friends are "N kB".
        std::string_view value = Trim(line.substr(key.size() + 1));
        uint64_t kb = 0;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), kb);
        if (ec != std::errc() ||
            Trim(std::string_view(ptr, value.data() + value.size() - ptr)) != "kB")
            return std::nullopt;
        if (kb > UINT64_MAX / 1024)
            return std::nullopt;
        return kb * 1024;
    }
    return std::nullopt;
}

// proc(5) maps line: address perms offset dev inode [pathname]; the path is
// everything after the inode field and may hold spaces.
struct Mapping {
    std::string_view perms;
    FileId file;
    std::string_view path;
};

template <typename Number> static bool ParseWhole(std::string_view text, Number& value, int base) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

// The dev field is "major:minor" in hex, the inode decimal.
static std::optional<FileId> ParseFileId(std::string_view device, std::string_view inode) {
    const size_t colon = device.find(':');
    FileId file;
    if (colon == std::string_view::npos || !ParseWhole(device.substr(0, colon), file.major, 16) ||
        !ParseWhole(device.substr(colon + 1), file.minor, 16) || !ParseWhole(inode, file.inode, 10))
        return std::nullopt;
    return file;
}

static std::optional<Mapping> ParseMapping(std::string_view line) {
    std::string_view fields[5];
    std::string_view rest = line;
    for (auto& field : fields) {
        rest = rest.substr(std::min(rest.find_first_not_of(' '), rest.size()));
        const size_t end = std::min(rest.find(' '), rest.size());
        if (end == 0)
            return std::nullopt;
        field = rest.substr(0, end);
        rest = rest.substr(end);
    }
    const auto file = ParseFileId(fields[3], fields[4]);
    if (!file)
        return std::nullopt;
    return Mapping{fields[1], *file,
                   rest.substr(std::min(rest.find_first_not_of(' '), rest.size()))};
}

std::vector<std::string> ExecutableMappings(std::string_view maps, std::optional<FileId> except) {
    std::vector<std::string> paths;
    size_t pos = 0;
    while (pos < maps.size()) {
        const size_t end = std::min(maps.find('\n', pos), maps.size());
        const auto mapping = ParseMapping(maps.substr(pos, end - pos));
        pos = end + 1;
        if (!mapping || mapping->perms.size() < 3 || mapping->perms[2] != 'x' ||
            mapping->path.empty() || mapping->path.front() != '/' || mapping->file == except)
            continue;
        if (std::find(paths.begin(), paths.end(), mapping->path) == paths.end())
            paths.emplace_back(mapping->path);
    }
    return paths;
}

// proc(5) stat: starttime is field 22. Field 2, the name in parentheses,
// may hold spaces and parentheses itself, so fields are counted from the
// last ')': field 3 is the first after it.
std::optional<uint64_t> StatStartTime(std::string_view stat) {
    size_t end = stat.rfind(')');
    for (int field = 3; end != std::string_view::npos && field <= 22; ++field) {
        const size_t start = stat.find_first_not_of(' ', end + 1);
        if (start == std::string_view::npos)
            return std::nullopt;
        end = std::min(stat.find(' ', start), stat.size());
        uint64_t ticks = 0;
        if (field == 22 && ParseWhole(stat.substr(start, end - start), ticks, 10))
            return ticks;
    }
    return std::nullopt;
}

std::string BaseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<std::string> ReadFileAt(int dirFd, const char* name) {
    const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            text.append(chunk, static_cast<size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            close(fd);
            return std::nullopt;
        }
    }
    close(fd);
    return text;
}

std::optional<std::string> ReadLinkAt(int dirFd, const char* name) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t got = readlinkat(dirFd, name, target.data(), target.size());
        if (got < 0)
            return std::nullopt;
        if (static_cast<size_t>(got) < target.size()) {
            target.resize(static_cast<size_t>(got));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

} // namespace platform::procfs
