// Every rebuild of the lists reads /proc and the kernel's socket tables
// through descriptors; none may stay open, whether a read succeeds or meets a
// process that has ended.

#include "app/Modules.h"
#include "lists/ProcessRows.h"
#include "lists/SocketRows.h"
#include "platform/Platform.h"

#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Open descriptors, less the one that lists them.
int OpenDescriptors() {
    DIR* fds = opendir("/proc/self/fd");
    int count = -3; // ".", ".." and the listing's own
    while (readdir(fds))
        ++count;
    closedir(fds);
    return count;
}

// A process identifier that no process holds any more.
int32_t EndedPid() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

} // namespace

TEST(Descriptors, NoRebuildLeavesOneOpen) {
    platform::Platform& os = platform::SystemPlatform();
    const struct {
        const char* rebuild;
        std::function<size_t()> run;
    } cases[] = {
        {"Processes", [&] { return BuildProcessRows(os.processes).size(); }},
        {"Listeners", [&] { return BuildListenerRows(os.sockets, os.processes, true).size(); }},
        {"Connections", [&] { return BuildConnectionRows(os.sockets, os.processes, true).size(); }},
        {"Modules", [&] { return ModuleRows(os.processes, getpid()).size(); }},
        {"Modules of an ended process",
         [&] { return ModuleRows(os.processes, EndedPid()).size(); }},
    };
    for (const auto& c : cases) {
        c.run(); // the first may set up what lasts as long as the program
        const int before = OpenDescriptors();
        for (int i = 0; i < 3; ++i)
            c.run();
        EXPECT_EQ(OpenDescriptors(), before) << c.rebuild;
    }
}
