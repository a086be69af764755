// A Processes rebuild against `ps -eo pid,comm,rss,args`, with 1,000 extra
// sleeping processes that this program starts and stops.

#include "app/Main.h"
#include "platform/Platform.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

namespace {

pid_t Spawn(std::vector<const char*> argv, bool quiet) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void ProcessesRebuild(benchmark::State& state) {
    TForm1 form(platform::SystemPlatform());
    for (auto _ : state)
        form.FillProcessList();
}
BENCHMARK(ProcessesRebuild)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly();

void Ps(benchmark::State& state) {
    for (auto _ : state)
        waitpid(Spawn({"ps", "-eo", "pid,comm,rss,args"}, true), nullptr, 0);
}
BENCHMARK(Ps)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<pid_t> sleepers;
    for (int i = 0; i < 1000; ++i)
        sleepers.push_back(Spawn({"sleep", "600"}, false));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    for (const pid_t pid : sleepers) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return 0;
}
