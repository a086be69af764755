// The process table read from this machine's /proc.

#include "Modules.h"
#include "ProcessRows.h"
#include "platform/LinuxProcessApi.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kSelf = fs::read_symlink("/proc/self/exe").string();

// A copy of sleep under a chosen file name, running until the test ends.
class OddProcess {
  public:
    explicit OddProcess(const std::string& fileName)
        : dir_(fs::temp_directory_path() / ("quillmark-odd-" + std::to_string(getpid()))),
          path_((dir_ / fileName).string()) {
        fs::create_directories(dir_);
        fs::copy_file("/bin/sleep", path_, fs::copy_options::overwrite_existing);
        fs::permissions(path_, fs::perms::owner_all);
        pid_ = fork();
        if (pid_ == 0) {
            execl(path_.c_str(), "sleep", "30", nullptr);
            _exit(127);
        }
        // The kernel names the executable only once exec has happened.
        const fs::path exe = "/proc/" + std::to_string(pid_) + "/exe";
        for (int i = 0; i < 400 && fs::read_symlink(exe, error_) != path_; ++i)
            usleep(5000);
    }
    ~OddProcess() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        fs::remove_all(dir_, error_);
    }
    uint32_t pid() const { return static_cast<uint32_t>(pid_); }
    const std::string& path() const { return path_; }

  private:
    fs::path dir_;
    std::string path_;
    pid_t pid_;
    std::error_code error_;
};

} // namespace

TEST(LinuxProcessApi, ThisProcessAppearsWithItsNameAndPathAndNoKernelThreadDoes) {
    platform::LinuxProcessApi api;
    const ListRows rows = BuildProcessRows(api);
    const auto self = std::find_if(rows.begin(), rows.end(), [](const ListRow& row) {
        return row.caption == std::to_string(getpid());
    });
    ASSERT_NE(self, rows.end());
    EXPECT_EQ(self->subItems[0], fs::path(kSelf).filename().string());
    EXPECT_EQ(self->subItems[3], kSelf);
    // Memory and peak memory in kB, the peak as the kernel counts it.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_GT(std::stoull(self->subItems[1]), 0u);
    EXPECT_NEAR(std::stod(self->subItems[2]), usage.ru_maxrss, usage.ru_maxrss / 2);
    EXPECT_FALSE(LookupProcess(api, 2).hasFirstModule) << "pid 2 is kthreadd";
}

TEST(LinuxProcessApi, ModulesStartWithTheExecutableAndIncludeTheCLibraryOnce) {
    platform::LinuxProcessApi api;
    const ListRows modules = ModuleRows(api, getpid());
    ASSERT_FALSE(modules.empty());
    EXPECT_EQ(modules.front().caption, kSelf);
    std::set<std::string> unique;
    for (const auto& row : modules)
        EXPECT_TRUE(unique.insert(row.caption).second) << row.caption << " listed twice";
    EXPECT_TRUE(std::any_of(modules.begin(), modules.end(), [](const ListRow& row) {
        return fs::path(row.caption).filename().string().starts_with("libc.so");
    }));
}

TEST(LinuxProcessApi, AnExitedProcessGivesNoRowAndNoModules) {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    platform::LinuxProcessApi api;
    EXPECT_FALSE(LookupProcess(api, static_cast<uint32_t>(child)).hasFirstModule);
    EXPECT_TRUE(ModuleRows(api, child).empty());
}

// Names as the kernel reports them: with spaces, a newline, bytes that are
// not UTF-8, or marked deleted.
TEST(LinuxProcessApi, OddExecutablesAreShownAsTheKernelNamesThem) {
    platform::LinuxProcessApi api;
    for (const std::string name : {"name with spaces", "new\nline", "bytes \xff\xfe here"}) {
        OddProcess process(name);
        const ProcessLookup lookup = LookupProcess(api, process.pid());
        ASSERT_TRUE(lookup.hasFirstModule) << name;
        EXPECT_EQ(lookup.baseName, name);
        EXPECT_EQ(lookup.fileName, process.path());
        EXPECT_EQ(ModuleRows(api, process.pid()).front().caption, process.path());
    }
    OddProcess doomed("doomed");
    fs::remove(doomed.path());
    const ProcessLookup lookup = LookupProcess(api, doomed.pid());
    EXPECT_EQ(lookup.fileName, doomed.path() + " (deleted)");
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
