// The Connections list at scale: 10,000 established loopback TCP connections
// (20,000 rows) and 1,000 UDP sockets, all on 127.0.0.1 and held by this
// program and one child, against `ss -tanp`, which does the same table and
// owner work, and the same with the traffic columns against `ss -tanpi`;
// then with 50 more network namespaces, each with a listener, and the
// Service column and the other namespaces' sockets against neither.

#include "app/Main.h"
#include "lists/ColumnCompare.h"
#include "lists/ListView.h"
#include "lists/RowSort.h"
#include "lists/SocketRows.h"
#include "lists/TrafficTracker.h"
#include "platform/LinuxSocketTables.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kConnections = 10000;
constexpr int kUdpSockets = 1000;
constexpr int kNamespaces = 50;
// Either process holds about 11,000 descriptors.
constexpr rlim_t kFilesPerProcess = kConnections + kUdpSockets + 100;

int Check(int result, const char* what) {
    if (result < 0) {
        std::perror(what);
        std::exit(1);
    }
    return result;
}

// The soft limit up to the hard one, which may be as low as 20,000: too few
// for both ends of 10,000 connections in one process.
void RaiseFileLimit() {
    rlimit files{};
    Check(getrlimit(RLIMIT_NOFILE, &files), "getrlimit");
    files.rlim_cur = files.rlim_max;
    Check(setrlimit(RLIMIT_NOFILE, &files), "setrlimit");
    if (files.rlim_cur < kFilesPerProcess) {
        std::fprintf(stderr, "RLIMIT_NOFILE allows %lu files, %lu needed\n",
                     static_cast<unsigned long>(files.rlim_cur),
                     static_cast<unsigned long>(kFilesPerProcess));
        std::exit(1);
    }
}

int TcpSocket() {
    return Check(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), "socket");
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Closing with a zero linger time resets the connections instead of leaving
// 10,000 TIME_WAIT entries behind on a shared machine.
void CloseWithReset(const std::vector<int>& fds) {
    const linger reset{1, 0};
    for (const int fd : fds) {
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        close(fd);
    }
}

// The child's side: listen on 127.0.0.1, report the port, accept every
// connection, report that, and hold them until the parent closes the pipe.
[[noreturn]] void RunAcceptor(int report, int hold) {
    RaiseFileLimit();
    const int listener = TcpSocket();
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    Check(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), "bind");
    Check(listen(listener, 4096), "listen");
    Check(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), "getsockname");
    Check(static_cast<int>(write(report, &address.sin_port, sizeof address.sin_port)), "write");
    std::vector<int> accepted{listener};
    for (int i = 0; i < kConnections; ++i)
        accepted.push_back(Check(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), "accept"));
    Check(static_cast<int>(write(report, "", 1)), "write");
    char end;
    while (read(hold, &end, 1) > 0) {
    }
    CloseWithReset(accepted);
    _exit(0);
}

struct Load {
    pid_t acceptor = -1;
    int hold = -1; // closing it ends the acceptor
    std::vector<int> fds;
};

// The accepting ends live in a child process, the connecting ends and the
// UDP sockets here.
Load OpenLoopbackLoad() {
    int report[2], hold[2];
    Check(pipe2(report, O_CLOEXEC), "pipe");
    Check(pipe2(hold, O_CLOEXEC), "pipe");
    Load load;
    load.acceptor = Check(fork(), "fork");
    if (load.acceptor == 0) {
        // Killed with its parent, so a failed run leaves it not waiting in accept.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(hold[1]);
        RunAcceptor(report[1], hold[0]);
    }
    close(report[1]);
    close(hold[0]);
    load.hold = hold[1];
    uint16_t port = 0;
    if (read(report[0], &port, sizeof port) != sizeof port)
        Check(-1, "acceptor");
    const sockaddr_in server{AF_INET, port, {htonl(INADDR_LOOPBACK)}, {}};
    for (int i = 0; i < kConnections; ++i) {
        load.fds.push_back(TcpSocket());
        Check(connect(load.fds.back(), reinterpret_cast<const sockaddr*>(&server), sizeof server),
              "connect");
    }
    char ready;
    if (read(report[0], &ready, 1) != 1)
        Check(-1, "acceptor");
    close(report[0]);
    for (int i = 0; i < kUdpSockets; ++i) {
        load.fds.push_back(Check(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0), "socket"));
        const sockaddr_in any = Loopback(0);
        Check(bind(load.fds.back(), reinterpret_cast<const sockaddr*>(&any), sizeof any), "bind");
    }
    return load;
}

void CloseLoad(const Load& load) {
    CloseWithReset(load.fds);
    close(load.hold);
    waitpid(load.acceptor, nullptr, 0);
}

void CloseNamespaces(const std::vector<pid_t>& children) {
    for (const pid_t child : children) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

// Brings up the loopback interface of the caller's network namespace.
bool LoopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
    const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0)
        close(fd);
    return up;
}

// Children that each make a network namespace of their own and listen on its
// 127.0.0.1 until killed; none where namespaces cannot be made (no
// CAP_SYS_ADMIN).
std::vector<pid_t> OpenNamespaces() {
    std::vector<pid_t> children;
    for (int i = 0; i < kNamespaces; ++i) {
        int ready[2];
        Check(pipe2(ready, O_CLOEXEC), "pipe");
        const pid_t child = Check(fork(), "fork");
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (unshare(CLONE_NEWNET) == 0 && LoopbackUp()) {
                const int listener = TcpSocket();
                const sockaddr_in address = Loopback(0);
                if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
                        0 &&
                    listen(listener, 16) == 0 && write(ready[1], "+", 1) == 1)
                    pause();
            }
            _exit(1);
        }
        close(ready[1]);
        char told = 0;
        const bool listening = read(ready[0], &told, 1) == 1;
        close(ready[0]);
        children.push_back(child);
        if (!listening)
            break;
    }
    if (children.size() < kNamespaces) {
        std::fprintf(stderr, "cannot make network namespaces; their cases are skipped\n");
        CloseNamespaces(children);
        children.clear();
    }
    return children;
}

// The CPU time of the waited-for children so far, in milliseconds.
double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The CPU column shows only this process; child_cpu_ms is ss's own. options
// is "-tanp", or "-tanpi" for ss's tcp_info as the traffic columns ask for it.
void SsTanp(benchmark::State& state, const char* options) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* const argv[] = {const_cast<char*>("ss"), const_cast<char*>(options), nullptr};
    const double cpuBefore = ChildrenCpuMs();
    for (auto _ : state) {
        pid_t pid = -1;
        if (posix_spawnp(&pid, "ss", &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("ss cannot be started");
            break;
        }
        waitpid(pid, nullptr, 0);
    }
    state.counters["child_cpu_ms"] =
        benchmark::Counter(ChildrenCpuMs() - cpuBefore, benchmark::Counter::kAvgIterations);
    posix_spawn_file_actions_destroy(&actions);
}

// With traffic the TCP dumps carry tcp_info, and the IPv6-only TCP table is
// made too, since every TCP socket counts towards its process.
void TcpUdpTableFetch(benchmark::State& state, bool traffic) {
    platform::LinuxSocketTables tables;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tables.GetEndpointTables({.udp = true, .ipv6 = traffic, .traffic = traffic}));
    }
}

void ConnectionsRebuild(benchmark::State& state, bool traffic) {
    TForm1 form(platform::SystemPlatform());
    form.SetShowTraffic(traffic);
    for (auto _ : state)
        form.FillConnectionList();
}

// The rebuild with the Service column and the other namespaces' listeners
// against the same rows without them: the 21,000 rows are the host's.
void NamespacesRebuild(benchmark::State& state, bool options, bool namespacesMade) {
    if (!namespacesMade) {
        state.SkipWithError("no network namespaces (needs CAP_SYS_ADMIN)");
        return;
    }
    TForm1 form(platform::SystemPlatform());
    form.SetShowService(options);
    form.SetIncludeOtherNamespaces(options);
    for (auto _ : state)
        form.FillConnectionList();
}

// The worker's part of a live refresh: both tables and the rows, with
// traffic the tracker's update and the traffic cells too.
void ConnectionRowsFetch(benchmark::State& state, bool traffic) {
    auto& os = platform::SystemPlatform();
    TrafficTracker tracker;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            BuildConnectionRows(os.sockets, os.processes, false, traffic ? &tracker : nullptr));
}

// The calling thread's CPU time so far, in nanoseconds.
qint64 ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Live refresh of the shown Connections list, sorted by Process, a row
// selected and scrolled to the middle: one iteration per rebuild, so the time
// is the refresh interval. The rows are fetched on a worker thread (see
// ConnectionRowsFetch); window_ms and window_cpu_ms are what putting them in
// costs the window thread, in wall-clock and CPU time: the gap between the
// two runs of a 1 ms timer around the model's reset.
void LiveRefresh(benchmark::State& state, bool traffic) {
    TForm1 form(platform::SystemPlatform());
    form.SetShowTraffic(traffic);
    form.show();
    form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    QCoreApplication::processEvents(); // the window's activation, which rebuilds
    ListView& list = *form.findChild<ListView*>("ListView3");
    form.ListView3ColumnClick(7);
    list.selectFirst([row = 0](const ListRow&) mutable { return ++row == 10000; });
    list.verticalScrollBar()->setValue(10000);
    QElapsedTimer clock;
    clock.start();
    struct Ping {
        qint64 wall, cpu;
    } last{0, ThreadCpuNs()};
    bool reset = false;
    double windowMs = 0, windowCpuMs = 0;
    QObject::connect(list.model(), &QAbstractItemModel::modelReset, [&] { reset = true; });
    QTimer ping;
    ping.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ping, &QTimer::timeout, [&] {
        const Ping now{clock.nsecsElapsed(), ThreadCpuNs()};
        if (reset) {
            windowMs += (now.wall - last.wall) / 1e6;
            windowCpuMs += (now.cpu - last.cpu) / 1e6;
            reset = false;
        }
        last = now;
    });
    form.SetLiveRefresh(true);
    ping.start(1);
    for (auto _ : state) {
        const double before = windowMs;
        while (windowMs == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    state.counters["window_ms"] = benchmark::Counter(windowMs, benchmark::Counter::kAvgIterations);
    state.counters["window_cpu_ms"] =
        benchmark::Counter(windowCpuMs, benchmark::Counter::kAvgIterations);
}

void SortConnections(benchmark::State& state, int column) {
    auto& os = platform::SystemPlatform();
    const ListRows rows = BuildConnectionRows(os.sockets, os.processes, false);
    const RowCompare compare = [column](const ListRow& a, const ListRow& b) {
        return CompareConnectionRows(a, b, column);
    };
    for (auto _ : state)
        benchmark::DoNotOptimize(SortOrder(rows, compare));
    state.counters["rows"] = static_cast<double>(rows.size());
}

// ss runs in a child process, so every measure is wall-clock time.
void Register(bool namespacesMade) {
    const auto configure = [](benchmark::internal::Benchmark* bench) {
        bench->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(10)
            ->ReportAggregatesOnly();
    };
    configure(benchmark::RegisterBenchmark("SsTanp", SsTanp, "-tanp"));
    configure(benchmark::RegisterBenchmark("SsTanpi", SsTanp, "-tanpi"));
    for (const bool traffic : {false, true}) {
        const std::string suffix = traffic ? "WithTraffic" : "";
        configure(benchmark::RegisterBenchmark(("TcpUdpTableFetch" + suffix).c_str(),
                                               TcpUdpTableFetch, traffic));
        configure(benchmark::RegisterBenchmark(("ConnectionsRebuild" + suffix).c_str(),
                                               ConnectionsRebuild, traffic));
        configure(benchmark::RegisterBenchmark(("ConnectionRowsFetch" + suffix).c_str(),
                                               ConnectionRowsFetch, traffic));
        benchmark::RegisterBenchmark(("LiveRefresh" + suffix).c_str(), LiveRefresh, traffic)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(5)
            ->Repetitions(3)
            ->ReportAggregatesOnly();
    }
    configure(benchmark::RegisterBenchmark("ConnectionsRebuildBeside50Namespaces",
                                           NamespacesRebuild, false, namespacesMade));
    configure(benchmark::RegisterBenchmark("ConnectionsRebuildWithServiceAnd50Namespaces",
                                           NamespacesRebuild, true, namespacesMade));
    configure(benchmark::RegisterBenchmark("SortByProcess", SortConnections, 7));
    configure(benchmark::RegisterBenchmark("SortByLPort", SortConnections, 3));
}

} // namespace

int main(int argc, char** argv) {
    RaiseFileLimit();
    const Load load = OpenLoopbackLoad(); // before Qt starts threads: these fork
    const std::vector<pid_t> namespaces = OpenNamespaces();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Register(!namespaces.empty());
    // Repetitions of the programs alternate, so a change in the machine's
    // load falls on all of them alike; a flag given later still wins.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    CloseNamespaces(namespaces);
    CloseLoad(load);
    return 0;
}
