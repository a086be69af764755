#include "ProcFs.h"

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
        if (ec != std::errc() || Trim(std::string_view(ptr, value.data() + value.size() - ptr)) != "kB")
            return std::nullopt;
        if (kb > UINT64_MAX / 1024)
            return std::nullopt;
        return kb * 1024;
    }
    return std::nullopt;
}

// proc(5) maps line: address perms offset dev inode [pathname]; the path is
// everything after the inode field and may hold spaces.
static std::optional<std::string_view> ExecutablePath(std::string_view line) {
    std::string_view rest = line;
    std::string_view perms;
    for (int field = 0; field < 5; ++field) {
        rest = rest.substr(std::min(rest.find_first_not_of(' '), rest.size()));
        const size_t end = std::min(rest.find(' '), rest.size());
        if (end == 0)
            return std::nullopt;
        if (field == 1)
            perms = rest.substr(0, end);
        rest = rest.substr(end);
    }
    std::string_view path = rest.substr(std::min(rest.find_first_not_of(' '), rest.size()));
    if (perms.size() < 3 || perms[2] != 'x' || path.empty() || path.front() != '/')
        return std::nullopt;
    return path;
}

std::vector<std::string> ExecutableMappings(std::string_view maps) {
    std::vector<std::string> paths;
    size_t pos = 0;
    while (pos < maps.size()) {
        const size_t end = std::min(maps.find('\n', pos), maps.size());
        const auto path = ExecutablePath(maps.substr(pos, end - pos));
        pos = end + 1;
        if (!path)
            continue;
        bool seen = false;
        for (const auto& known : paths)
            seen = seen || known == *path;
        if (!seen)
            paths.emplace_back(*path);
    }
    return paths;
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
