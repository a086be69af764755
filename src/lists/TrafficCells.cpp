#include "TrafficCells.h"

#include <charconv>

namespace {

template <typename Rows> void AddSamples(std::vector<SocketSample>& samples, const Rows& rows) {
    for (const auto& row : rows)
        if (row.bytes)
            samples.push_back({row.cookie, row.dwOwningPid, *row.bytes});
}

std::string AmountCell(std::optional<uint64_t> amount) {
    return amount ? std::to_string(*amount) : std::string();
}

} // namespace

TrafficView TakeTraffic(TrafficTracker& tracker, const platform::EndpointTables& tables) {
    if (!tables.tcp || !tables.tcp6)
        return {};
    std::vector<SocketSample> samples;
    samples.reserve(tables.tcp->size() + tables.tcp6->size());
    AddSamples(samples, *tables.tcp);
    AddSamples(samples, *tables.tcp6);
    return tracker.Update(samples, tables.takenAt);
}

void AppendConnectionTraffic(ListRow& row, const std::optional<platform::TcpByteCounts>& bytes,
                             std::optional<uint64_t> rate) {
    row.subItems.push_back(AmountCell(bytes ? std::optional(bytes->sent) : std::nullopt));
    row.subItems.push_back(AmountCell(bytes ? std::optional(bytes->received) : std::nullopt));
    row.subItems.push_back(AmountCell(bytes ? rate : std::nullopt));
}

void AddProcessTraffic(ListRows& rows, platform::SocketTableApi& sockets, TrafficTracker& tracker) {
    const TrafficView view =
        TakeTraffic(tracker, sockets.GetEndpointTables({.ipv6 = true, .traffic = true}));
    for (ListRow& row : rows) {
        uint32_t pid = 0;
        std::from_chars(row.caption.data(), row.caption.data() + row.caption.size(), pid);
        const auto found = view.processes.find(pid);
        const bool seen = found != view.processes.end();
        row.subItems.push_back(AmountCell(seen ? found->second.rate : std::nullopt));
        row.subItems.push_back(
            AmountCell(seen ? std::optional(found->second.total) : std::nullopt));
    }
}
