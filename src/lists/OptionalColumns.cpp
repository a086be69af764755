#include "OptionalColumns.h"

namespace {

const char kLiveRate[] = "Bytes per second, sent and received, over the last 2 seconds";
const char kRebuildRate[] =
    "Bytes per second, sent and received, on average since the previous rebuild";

std::vector<ListColumn> TrafficColumns(ListKind list, const char* rateTip) {
    switch (list) {
    case ListKind::Processes:
        return {{"Net rate", 80, CellFormat::BytesPerSecond, rateTip},
                {"Net total", 80, CellFormat::Bytes,
                 "Bytes sent and received since traffic was shown, closed connections included"}};
    case ListKind::Connections:
        return {{"Sent", 80, CellFormat::Bytes, "Bytes sent over the connection's life"},
                {"Received", 80, CellFormat::Bytes, "Bytes received over the connection's life"},
                {"Rate", 80, CellFormat::BytesPerSecond, rateTip}};
    case ListKind::Listeners:
        break;
    }
    return {};
}

} // namespace

std::vector<ListColumn> WithOptionalColumns(std::vector<ListColumn> columns, ListKind list,
                                            const ColumnOptions& options) {
    if (options.traffic) {
        const auto traffic = TrafficColumns(list, options.liveRefresh ? kLiveRate : kRebuildRate);
        columns.insert(columns.end(), traffic.begin(), traffic.end());
    }
    if (options.service)
        columns.push_back({"Service", 150, CellFormat::CgroupService,
                           "The service, app or container the process belongs to"});
    return columns;
}
