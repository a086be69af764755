// The process table read from this machine's /proc.

#include "Modules.h"
#include "ProcessRows.h"
#include "platform/LinuxProcessApi.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string SelfExe() {
    return fs::read_symlink("/proc/self/exe").string();
}

// A copy of sleep under a chosen file name, running until the test ends.
class OddProcess {
  public:
    explicit OddProcess(const std::string& fileName) {
        dir_ = fs::temp_directory_path() / ("quillmark-odd-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        path_ = (dir_ / fileName).string();
        fs::copy_file("/bin/sleep", path_, fs::copy_options::overwrite_existing);
        fs::permissions(path_, fs::perms::owner_all);
        char arg0[] = "sleep";
        char arg1[] = "30";
        char* argv[] = {arg0, arg1, nullptr};
        if (posix_spawn(&pid_, path_.c_str(), nullptr, nullptr, argv, environ) != 0)
            pid_ = -1;
        // The kernel names the executable only once exec has happened.
        for (int i = 0;
             i < 200 && pid_ > 0 && !fs::exists("/proc/" + std::to_string(pid_) + "/exe"); ++i)
            usleep(5000);
        usleep(20000);
    }
    ~OddProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    pid_t pid() const { return pid_; }
    const std::string& path() const { return path_; }

  private:
    fs::path dir_;
    std::string path_;
    pid_t pid_ = -1;
};

const ListRow* FindRow(const ListRows& rows, pid_t pid) {
    for (const auto& row : rows)
        if (row.caption == std::to_string(pid))
            return &row;
    return nullptr;
}

} // namespace

TEST(LinuxProcessApi, ThisProcessAppearsWithItsNameAndPath) {
    platform::LinuxProcessApi api;
    const ListRows rows = BuildProcessRows(api);
    const ListRow* self = FindRow(rows, getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->subItems[0], fs::path(SelfExe()).filename().string());
    EXPECT_EQ(self->subItems[3], SelfExe());
    EXPECT_GT(std::stoull(self->subItems[1]), 0u) << "resident memory in kB";
    EXPECT_GE(std::stoull(self->subItems[2]), std::stoull(self->subItems[1]));
}

TEST(LinuxProcessApi, KernelThreadsHaveNoRow) {
    platform::LinuxProcessApi api;
    EXPECT_FALSE(LookupProcess(api, 2).hasFirstModule) << "pid 2 is kthreadd";
    EXPECT_EQ(api.OpenProcess(0), nullptr);
}

TEST(LinuxProcessApi, ModulesStartWithTheExecutableAndIncludeTheCLibrary) {
    platform::LinuxProcessApi api;
    const ListRows modules = ModuleRows(api, getpid());
    ASSERT_FALSE(modules.empty());
    EXPECT_EQ(modules.front().caption, SelfExe());
    EXPECT_TRUE(std::any_of(modules.begin(), modules.end(), [](const ListRow& row) {
        return fs::path(row.caption).filename().string().rfind("libc.so", 0) == 0;
    }));
}

TEST(LinuxProcessApi, AnExitedProcessGivesNoRowAndNoModules) {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    platform::LinuxProcessApi api;
    EXPECT_FALSE(LookupProcess(api, static_cast<uint32_t>(child)).hasFirstModule);
    EXPECT_TRUE(ModuleRows(api, child).empty());
}

TEST(LinuxProcessApi, OddExecutableNamesAreShownAsTheKernelReportsThem) {
    for (const std::string name : {"name with spaces", "new\nline", "bytes \xff\xfe here"}) {
        OddProcess process(name);
        ASSERT_GT(process.pid(), 0) << name;
        platform::LinuxProcessApi api;
        const ProcessLookup lookup = LookupProcess(api, static_cast<uint32_t>(process.pid()));
        ASSERT_TRUE(lookup.hasFirstModule) << name;
        EXPECT_EQ(lookup.baseName, name);
        EXPECT_EQ(lookup.fileName, process.path());
        EXPECT_EQ(ModuleRows(api, process.pid()).front().caption, process.path());
    }
}

TEST(LinuxProcessApi, AnExecutableDeletedWhileRunningIsMarkedDeleted) {
    OddProcess process("doomed");
    ASSERT_GT(process.pid(), 0);
    fs::remove(process.path());
    platform::LinuxProcessApi api;
    const ProcessLookup lookup = LookupProcess(api, static_cast<uint32_t>(process.pid()));
    ASSERT_TRUE(lookup.hasFirstModule);
    EXPECT_EQ(lookup.fileName, process.path() + " (deleted)");
    EXPECT_EQ(lookup.baseName, "doomed (deleted)");
}

TEST(LinuxProcessApi, ProcessesEndingDuringARebuildAreSkipped) {
    const pid_t spawner = fork();
    if (spawner == 0) {
        for (int i = 0; i < 400; ++i)
            if (fork() == 0)
                _exit(0);
            else
                wait(nullptr);
        _exit(0);
    }
    platform::LinuxProcessApi api;
    for (int i = 0; i < 20; ++i)
        for (const auto& row : BuildProcessRows(api))
            ASSERT_EQ(row.subItems.size(), 4u);
    waitpid(spawner, nullptr, 0);
}
