// The process table read from this machine's /proc.

#include "app/Modules.h"
#include "lists/ProcessRows.h"
#include "lists/SocketRows.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Child.h"
#include "support/FailingCalls.h"
#include "support/SnifferFakes.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

static const std::string kSelf = fs::read_symlink("/proc/self/exe").string();

// This process's row, wherever its PID lies; a process with no executable
// to read (a zombie here, as a kernel thread) has no name or path. No rebuild
// of the lists leaves a descriptor open, also where it meets the zombie.
TEST(LinuxProcessApi, ThisProcessHasItsNamePathAndMemoryAndAZombieNone) {
    platform::LinuxProcessApi api;
    const std::optional<ListRow> self = ProcessRow(getpid(), LookupProcess(api, getpid()));
    ASSERT_TRUE(self);
    EXPECT_EQ(self->subItems[0], fs::path(kSelf).filename().string());
    EXPECT_EQ(self->subItems[3], kSelf);
    // Memory and peak memory in kB, the peak as the kernel counts it.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_GT(std::stoull(self->subItems[1]), 0u);
    EXPECT_NEAR(std::stod(self->subItems[2]), usage.ru_maxrss, usage.ru_maxrss / 2);
    const Child zombie{fork()};
    if (zombie.pid == 0)
        _exit(0);
    siginfo_t ended{};
    waitid(P_PID, static_cast<id_t>(zombie.pid), &ended, WEXITED | WNOWAIT);
    EXPECT_FALSE(LookupProcess(api, static_cast<uint32_t>(zombie.pid)).hasFirstModule);
    platform::LinuxSocketTables sockets;
    const auto rebuild = [&] {
        BuildProcessRows(api), ModuleRows(api, getpid()), ModuleRows(api, zombie.pid);
        BuildListenerRows(sockets, api, true), BuildConnectionRows(sockets, api, true);
        return std::distance(fs::directory_iterator("/proc/self/fd"), {});
    };
    const auto first = rebuild(); // which may set up what lasts as long as the program
    EXPECT_EQ(rebuild(), first);
}

// A copy of sleep under a name with spaces, a newline and bytes that are not
// UTF-8 is shown as the kernel names it, and then marked deleted; its
// modules list it once, although maps writes the newline as \012, also when
// asking a file's server for its attributes fails (as a hung NFS server
// makes every such stat wait).
TEST(LinuxProcessApi, AnOddExecutableIsShownAsTheKernelNamesIt) {
    const std::string name = "odd name\n\xff\xfe";
    TempDirectory directory;
    const std::string path = (directory.path() / name).string();
    fs::copy_file("/bin/sleep", path);
    const Child child{fork()};
    if (child.pid == 0) {
        execl(path.c_str(), "sleep", "30", nullptr);
        _exit(127);
    }
    // The kernel names the executable only once exec has happened.
    const fs::path exe = "/proc/" + std::to_string(child.pid) + "/exe";
    std::error_code gone;
    for (int i = 0; i < 400 && fs::read_symlink(exe, gone) != path; ++i)
        usleep(5000);
    platform::LinuxProcessApi api;
    EXPECT_EQ(LookupProcess(api, child.pid).baseName, name);
    EXPECT_EQ(LookupProcess(api, child.pid).fileName, path);
    ListRows modules;
    RunWithFailingCalls(
        {{SYS_newfstatat, 0, 0, true, EIO}, {SYS_statx, 2, AT_STATX_DONT_SYNC, true, EIO}},
        [&] { modules = ModuleRows(api, child.pid); });
    EXPECT_EQ(modules.at(0).caption, path);
    const auto odd = [](const ListRow& row) { return row.caption.find("odd") != row.caption.npos; };
    EXPECT_EQ(std::ranges::count_if(modules, odd), 1);
    fs::remove(path);
    EXPECT_EQ(LookupProcess(api, child.pid).baseName, name + " (deleted)");
    EXPECT_EQ(LookupProcess(api, child.pid).fileName, path + " (deleted)");
}
