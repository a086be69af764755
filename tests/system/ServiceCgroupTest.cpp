// A child of this test moved into a Docker container's scope of the test's
// own making: its process and its listeners, here and in a network namespace
// of its own, name the container also when their owner cannot be found.

#include "lists/CgroupService.h"
#include "lists/ServiceCells.h"
#include "lists/SocketRows.h"
#include "platform/CgroupIds.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Child.h"
#include "support/Sockets.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Removes the group the test made, once the child in it is gone.
struct Scope {
    std::string path;
    ~Scope() { rmdir(path.c_str()); }
};

// The real tables as a reader sees them that may not look into the owners'
// descriptors: every owner unknown.
struct OwnersUnknown : platform::LinuxSocketTables {
    platform::EndpointTables GetEndpointTables(platform::TableRequest request) override {
        platform::EndpointTables tables = LinuxSocketTables::GetEndpointTables(request);
        for (auto& row : tables.tcp.value())
            row.dwOwningPid = 0;
        return tables;
    }
};

} // namespace

TEST(ServiceCgroup, AChildInADockerScopeAndItsOwnerlessListenerNameTheContainer) {
    int ready[2];
    if (!EnterPrivateNetwork() || pipe(ready) != 0)
        GTEST_SKIP() << "private network namespaces need CAP_SYS_ADMIN and the ip command";
    std::ifstream file("/proc/self/mountinfo");
    const auto mount = platform::FindCgroup2Mount(std::string(std::istreambuf_iterator(file), {}));
    if (!mount)
        GTEST_SKIP() << "no cgroup2 file system is mounted";
    char id[65];
    std::snprintf(id, sizeof id, "feed%060x", static_cast<unsigned>(getpid()));
    const Scope scope{mount->mountPoint + "/docker-" + id + ".scope"};
    if (mkdir(scope.path.c_str(), 0755) != 0)
        GTEST_SKIP() << "cannot make a cgroup at " << scope.path << ": " << std::strerror(errno);
    // The socket belongs to the group its maker is in at the time: the child
    // moves itself in first.
    const Child child{fork()};
    if (child.pid == 0) {
        std::ofstream(scope.path + "/cgroup.procs") << 0 << std::flush;
        const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47020);
        // and one in a network namespace of its own, read through /proc.
        if (EnterPrivateNetwork()) {
            const Fd other = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47021);
            if (write(ready[1], "+", 1) == 1)
                pause();
        }
        _exit(1);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);

    platform::LinuxProcessApi processes;
    OwnersUnknown sockets;
    // The machine's own namespace is another one too.
    ListRows rows = BuildListenerRows(sockets, processes, false, true);
    std::erase_if(rows, [](const ListRow& row) { return !row.column(2).starts_with("4702"); });
    rows.push_back({std::to_string(child.pid), {}});
    AddServiceCells(rows, processes);
    for (const ListRow& row : rows)
        EXPECT_EQ(ServiceOfCell(row.subItems.back()), "docker:feed00000000") << row.caption;
    EXPECT_EQ(rows.size(), 3u);
}
