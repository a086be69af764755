// Scrolling a list of 21,000 connection rows: the cost of showing one screen
// after a scroll step, against showing it in a list of 100 rows.

#include "lists/ListView.h"

#include <QApplication>
#include <QPixmap>
#include <QScrollBar>
#include <benchmark/benchmark.h>

namespace {

const std::vector<ListColumn> kColumns = {{"PID", 50},    {"PROTO", 50},      {"Local IP", 100},
                                          {"L Port", 50}, {"Remote IP", 100}, {"R Port", 50},
                                          {"STATE", 100}, {"Process", 125},   {"FileName", 300}};

ListRows ConnectionRows(int count) {
    ListRows rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(
            {std::to_string(1000 + i % 500),
             {"TCP", "127.0.0.1", std::to_string(20000 + i), "127.0.0.1", std::to_string(40000 + i),
              "Established", "connections_bench", "/usr/local/bin/connections_bench"}});
    return rows;
}

void ScrollAndPaint(benchmark::State& state) {
    ListView list;
    list.resize(640, 400);
    list.setColumns(kColumns);
    list.setRows(ConnectionRows(static_cast<int>(state.range(0))));
    list.show();
    QPixmap screen(list.viewport()->size());
    QScrollBar* bar = list.verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        bar->setValue((step++ * 37) % (bar->maximum() + 1));
        list.viewport()->render(&screen);
    }
}
BENCHMARK(ScrollAndPaint)
    ->Arg(100)
    ->Arg(21000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
