// The sniffer log under load: the cost of appending one line (and letting the
// window catch up, as it does between two lines of a capture) to an empty log
// and to one that already holds a million lines, and the memory a million
// lines of about 80 characters take.

#include "sniffer/SnifferLog.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

const std::string kLine =
    "TCP Packet ID:13330  10.0.0.2:1025 > 10.0.0.1:80 Size: 60b TTL: 128 FLAGS: ACK ";

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string field;
    long value = 0;
    while (status >> field)
        if (field == "VmRSS:" && status >> value)
            return value;
    return 0;
}

void BM_AppendLine(benchmark::State& state) {
    SnifferLog log;
    log.resize(800, 400);
    log.show();
    for (int64_t i = 0; i < state.range(0); ++i)
        log.appendLine(kLine);
    QApplication::processEvents();
    for (auto _ : state) {
        log.appendLine(kLine);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_MemoryOfAMillionLines(benchmark::State& state) {
    for (auto _ : state) {
        const long before = ResidentKiB();
        auto* log = new SnifferLog;
        log->resize(800, 400);
        log->show();
        for (int i = 0; i < 1000000; ++i)
            log->appendLine(kLine);
        QApplication::processEvents();
        state.counters["MiB"] = static_cast<double>(ResidentKiB() - before) / 1024;
        state.counters["processMiB"] = static_cast<double>(ResidentKiB()) / 1024;
        delete log;
    }
}

} // namespace

BENCHMARK(BM_AppendLine)->Arg(0)->Arg(1000000);
BENCHMARK(BM_MemoryOfAMillionLines)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
