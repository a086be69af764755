#include "ProcNetSockets.h"

#include "CgroupFile.h"
#include "CgroupIds.h"
#include "ProcFs.h"

#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

template <typename T> bool ParseNumber(std::string_view text, T& value, int base) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "ADDRESS:PORT": the address as the kernel prints it, 32-bit words in hex
// each as the machine holds it, so copying the words back gives the address
// in network order; the port in hex.
bool ParseEndpoint(std::string_view text, size_t words, std::array<uint8_t, 16>& address,
                   uint16_t& port) {
    if (text.size() != words * 8 + 5 || text[words * 8] != ':')
        return false;
    for (size_t word = 0; word < words; ++word) {
        uint32_t value = 0;
        if (!ParseNumber(text.substr(word * 8, 8), value, 16))
            return false;
        std::memcpy(address.data() + word * 4, &value, sizeof value);
    }
    return ParseNumber(text.substr(words * 8 + 1), port, 16);
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = line.find_first_not_of(' ');
    while (start != std::string_view::npos) {
        const size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(' ', end);
    }
    return fields;
}

// "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode".
std::optional<sockdiag::InetDiagEntry> ParseLine(std::string_view line, uint8_t family) {
    const auto fields = Fields(line);
    const size_t words = family == AF_INET6 ? 4 : 1;
    sockdiag::InetDiagEntry entry;
    entry.family = family;
    if (fields.size() < 10 || !fields[0].ends_with(':') ||
        !ParseEndpoint(fields[1], words, entry.localAddr, entry.localPort) ||
        !ParseEndpoint(fields[2], words, entry.remoteAddr, entry.remotePort) ||
        !ParseNumber(fields[3], entry.state, 16) || !ParseNumber(fields[9], entry.inode, 10))
        return std::nullopt;
    return entry;
}

// A network namespace by the inode of its tcp table, which every process
// in it shows and every user may see, unlike /proc/PID/ns/net.
std::optional<ino_t> NamespaceKey(int procFd, const char* pid) {
    struct stat info {};
    const std::string path = std::string(pid) + "/net/tcp";
    if (fstatat(procFd, path.c_str(), &info, 0) != 0)
        return std::nullopt;
    return info.st_ino;
}

void AddFile(int procFd, const std::string& pid, const char* file, uint8_t family,
             std::vector<sockdiag::InetDiagEntry>& entries) {
    const auto text = procfs::ReadFileAt(procFd, (pid + "/net/" + file).c_str());
    if (!text)
        return;
    const auto parsed = ParseProcNetSockets(*text, family);
    entries.insert(entries.end(), parsed.begin(), parsed.end());
}

// The cgroup v2 id of a process (its group directory's inode), from its
// world-readable /proc/PID/cgroup; 0 where it cannot be found.
uint64_t CgroupIdOf(int procFd, const char* pid, const std::optional<Cgroup2Mount>& mount) {
    if (!mount)
        return 0;
    const auto text = procfs::ReadFileAt(procFd, (std::string(pid) + "/cgroup").c_str());
    if (!text)
        return 0;
    const auto v2 = ParseCgroupFile(*text).v2;
    if (!v2)
        return 0;
    const std::string path(*v2);
    // Only a group inside the mounted part of the tree has a directory.
    const std::string& root = mount->root;
    if (root != "/" && path != root && !path.starts_with(root + "/"))
        return 0;
    struct stat info {};
    const std::string below = root == "/" ? path : path.substr(root.size());
    return stat((mount->mountPoint + below).c_str(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

std::vector<sockdiag::InetDiagEntry> ParseProcNetSockets(std::string_view text, uint8_t family) {
    std::vector<sockdiag::InetDiagEntry> entries;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        if (const auto entry = ParseLine(text.substr(0, end), family))
            entries.push_back(*entry);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return entries;
}

NamespaceSockets OtherNamespaceSockets() {
    NamespaceSockets sockets;
    DIR* proc = opendir("/proc");
    if (!proc)
        return sockets;
    std::set<ino_t> seen;
    if (const auto own = NamespaceKey(dirfd(proc), "self"))
        seen.insert(*own);
    const auto mountinfo = procfs::ReadFileAt(dirfd(proc), "self/mountinfo");
    const auto mount = mountinfo ? FindCgroup2Mount(*mountinfo) : std::nullopt;
    while (const dirent* entry = readdir(proc)) {
        uint32_t pid = 0;
        if (!ParseNumber(std::string_view(entry->d_name), pid, 10) || pid == 0)
            continue;
        const auto key = NamespaceKey(dirfd(proc), entry->d_name);
        if (!key || !seen.insert(*key).second)
            continue;
        const size_t tcp = sockets.tcp.size(), udp = sockets.udp.size();
        AddFile(dirfd(proc), entry->d_name, "tcp", AF_INET, sockets.tcp);
        AddFile(dirfd(proc), entry->d_name, "tcp6", AF_INET6, sockets.tcp);
        AddFile(dirfd(proc), entry->d_name, "udp", AF_INET, sockets.udp);
        AddFile(dirfd(proc), entry->d_name, "udp6", AF_INET6, sockets.udp);
        // A socket whose owner stays unknown is named by the group of the
        // process its namespace was read through: a container's, as a rule.
        const uint64_t cgroupId = CgroupIdOf(dirfd(proc), entry->d_name, mount);
        for (size_t i = tcp; i < sockets.tcp.size(); ++i)
            sockets.tcp[i].cgroupId = cgroupId;
        for (size_t i = udp; i < sockets.udp.size(); ++i)
            sockets.udp[i].cgroupId = cgroupId;
    }
    closedir(proc);
    return sockets;
}

} // namespace platform
