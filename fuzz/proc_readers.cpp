// The readers of /proc text on any bytes: a status, maps, stat or cgroup
// file, a socket table of /proc/PID/net, mountinfo, a link target (the
// executable's or a descriptor's), each read back through the file system as
// the program reads them.

#include "lists/CgroupService.h"
#include "platform/CgroupIds.h"
#include "platform/ProcFs.h"
#include "platform/ProcNetSockets.h"
#include "platform/SocketOwners.h"
#include "support/SnifferFakes.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <string_view>
#include <unistd.h>

using namespace platform::procfs;

namespace {

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// A directory standing in for /proc/PID, opened once.
struct ProcessDirectory {
    TempDirectory directory;
    int fd = open(directory.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
};

void ReadStatus(std::string_view text) {
    for (const char* key : {"VmRSS", "VmHWM"})
        if (const auto bytes = StatusBytes(text, key))
            Check(*bytes % 1024 == 0);
}

// Every path named is an executable mapping's whole path: it starts with '/',
// it is in the text, and no path comes twice.
void ReadMaps(std::string_view text) {
    const std::vector<std::string> paths = ExecutableMappings(text);
    for (size_t i = 0; i < paths.size(); ++i) {
        Check(!paths[i].empty() && paths[i].front() == '/');
        Check(text.find(paths[i]) != std::string_view::npos);
        for (size_t j = 0; j < i; ++j)
            Check(paths[i] != paths[j]);
    }
}

// A start time is found only after the name's ')', and is written there.
void ReadStat(std::string_view text) {
    if (const auto ticks = StatStartTime(text))
        Check(text.find(')') != std::string_view::npos &&
              text.substr(text.rfind(')')).find(std::to_string(*ticks)) != std::string_view::npos);
}

// At most one socket per line, each with an inode and ports read from it.
void ReadSocketTable(std::string_view text) {
    const auto lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const uint8_t family : {AF_INET, AF_INET6}) {
        const auto entries = platform::ParseProcNetSockets(text, family);
        Check(entries.size() <= lines);
        for (const auto& entry : entries)
            Check(entry.family == family && text.find(std::to_string(entry.inode)) != text.npos);
    }
}

// The chosen path holds no newline, which a Service cell's name follows; a
// container's name (pod/container for Kubernetes) is taken from the text.
void ReadCgroup(std::string_view text) {
    const std::string path = CgroupPath(text);
    Check(path.find('\n') == std::string::npos);
    const std::string name = ContainerName(path, {{std::string(text)}, {std::string(text)}});
    for (size_t start = 0; start <= name.size();) {
        const size_t end = std::min(name.find('/', start), name.size());
        Check(text.find(name.substr(start, end - start)) != std::string_view::npos);
        start = end + 1;
    }
    const std::string cell = ServiceCell(path, name);
    Check(CgroupOfCell(cell) == path);
    ServiceOfCell(cell);
}

// A cgroup2 mount is found only on a line that says so.
void ReadMountinfo(std::string_view text) {
    if (platform::FindCgroup2Mount(text))
        Check(text.find(" - cgroup2") != std::string_view::npos);
}

// A file written with the text reads back whole.
void ReadBack(const ProcessDirectory& process, std::string_view text) {
    {
        std::ofstream out(process.directory.path() / "status", std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    Check(ReadFileAt(process.fd, "status") == std::string(text));
}

// A link whose target is the text (when the kernel takes it as one) reads
// back whole, whatever its length, spaces or newlines.
void ReadLink(const ProcessDirectory& process, std::string_view text) {
    if (text.empty() || text.size() >= PATH_MAX || text.find('\0') != std::string_view::npos)
        return;
    const std::string target(text);
    unlinkat(process.fd, "exe", 0);
    if (symlinkat(target.c_str(), process.fd, "exe") != 0)
        return;
    Check(ReadLinkAt(process.fd, "exe") == target);
    if (platform::SocketLinkInode(text))
        Check(text.starts_with("socket:[") && text.ends_with(']'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ProcessDirectory process;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadStatus(text);
    ReadMaps(text);
    ReadStat(text);
    ReadSocketTable(text);
    ReadCgroup(text);
    ReadMountinfo(text);
    ReadBack(process, text);
    ReadLink(process, text);
    return 0;
}
