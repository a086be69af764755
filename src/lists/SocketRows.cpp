#include "SocketRows.h"

#include "ProcessRows.h"
#include "TrafficCells.h"

#include <arpa/inet.h>
#include <array>
#include <cstring>

namespace {

constexpr uint32_t kListening = 2;
constexpr const char* kNotApplicable = "N/A";

} // namespace

std::string TcpStateName(uint32_t state) {
    static const std::array<const char*, 13> names = {
        "Unknown",     "CLOSED", "LISTEN",    "SYN sent",        "SYN received",
        "Established", "Wait 1", "Wait 2",    "Waiting closing", "Closing",
        "ACK",         "Wait",   "Delete tcb"};
    return state < names.size() ? names[state] : names[0];
}

std::string AddressText(uint32_t address) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
           std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

std::string Address6Text(const platform::Ipv6Address& address) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, address.data(), text, sizeof text) ? text : "";
}

uint16_t PortNumber(uint32_t portField) {
    return ntohs(static_cast<uint16_t>(portField & 0xFFFF));
}

EndpointOwner LookupOwner(platform::ProcessApi& processes, uint32_t pid) {
    const auto process = processes.OpenProcess(pid);
    if (!process)
        return {};
    auto names = FirstModuleNames(*process);
    if (!names)
        return {"", "", process->StartTime()};
    return {names->baseName.value_or(kUnknownName), names->fileName.value_or(kUnknownName),
            process->StartTime()};
}

const EndpointOwner& EndpointOwners::Of(uint32_t pid) {
    const auto found = known_.find(pid);
    if (found != known_.end())
        return found->second;
    return known_.emplace(pid, LookupOwner(processes_, pid)).first->second;
}

namespace {

// A row of an endpoint owned by pid: its cells, then the owner's two names.
ListRow EndpointRow(EndpointOwners& owners, uint32_t pid, std::vector<std::string> cells,
                    uint64_t cgroupId) {
    const EndpointOwner& owner = owners.Of(pid);
    cells.push_back(owner.name);
    cells.push_back(owner.fileName);
    return {std::to_string(pid), std::move(cells), owner.startTime, pid == 0 ? cgroupId : 0};
}

std::string PortText(uint32_t portField) {
    return std::to_string(PortNumber(portField));
}

struct NoCells {
    void operator()(const auto&, ListRow&) const {}
};

// Appends a row per table row for which make gives cells, when the table was
// read; then the cells of the options that are on.
template <typename Table, typename Make, typename Optional = NoCells>
void AddRows(ListRows& rows, const std::optional<Table>& table, EndpointOwners& owners, Make make,
             Optional optional = {}) {
    if (!table)
        return;
    for (const auto& entry : *table)
        if (auto cells = make(entry)) {
            rows.push_back(
                EndpointRow(owners, entry.dwOwningPid, std::move(*cells), entry.cgroupId));
            optional(entry, rows.back());
        }
}

using Cells = std::optional<std::vector<std::string>>;

} // namespace

ListRows ListenerRows(const platform::EndpointTables& tables, EndpointOwners& owners) {
    ListRows rows;
    AddRows(rows, tables.tcp, owners, [](const platform::MibTcpRowOwnerPid& entry) -> Cells {
        if (entry.dwState != kListening)
            return std::nullopt;
        return {{AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort)}};
    });
    AddRows(rows, tables.tcp6, owners, [](const platform::MibTcp6RowOwnerPid& entry) -> Cells {
        if (entry.dwState != kListening)
            return std::nullopt;
        return {{Address6Text(entry.ucLocalAddr), PortText(entry.dwLocalPort)}};
    });
    return rows;
}

ListRows TcpConnectionRows(const platform::EndpointTables& tables, EndpointOwners& owners,
                           const TrafficView* traffic) {
    const auto trafficCells = [traffic](const auto& entry, ListRow& row) {
        if (traffic)
            AppendConnectionTraffic(row, entry.bytes, traffic->RateOf(entry.cookie));
    };
    ListRows rows;
    AddRows(
        rows, tables.tcp, owners,
        [](const platform::MibTcpRowOwnerPid& entry) -> Cells {
            return {{"TCP", AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort),
                     AddressText(entry.dwRemoteAddr), PortText(entry.dwRemotePort),
                     TcpStateName(entry.dwState)}};
        },
        trafficCells);
    AddRows(
        rows, tables.tcp6, owners,
        [](const platform::MibTcp6RowOwnerPid& entry) -> Cells {
            return {{"TCP6", Address6Text(entry.ucLocalAddr), PortText(entry.dwLocalPort),
                     Address6Text(entry.ucRemoteAddr), PortText(entry.dwRemotePort),
                     TcpStateName(entry.dwState)}};
        },
        trafficCells);
    return rows;
}

ListRows UdpEndpointRows(const platform::EndpointTables& tables, EndpointOwners& owners) {
    ListRows rows;
    AddRows(rows, tables.udp, owners, [](const platform::MibUdpRowOwnerPid& entry) -> Cells {
        return {{"UDP", AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort), kNotApplicable,
                 kNotApplicable, kNotApplicable}};
    });
    AddRows(rows, tables.udp6, owners, [](const platform::MibUdp6RowOwnerPid& entry) -> Cells {
        return {{"UDP6", Address6Text(entry.ucLocalAddr), PortText(entry.dwLocalPort),
                 kNotApplicable, kNotApplicable, kNotApplicable}};
    });
    return rows;
}

ListRows BuildListenerRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes,
                           bool includeIpv6, bool otherNamespaces) {
    const auto tables = sockets.GetEndpointTables(
        {.udp = false, .ipv6 = includeIpv6, .otherNamespaces = otherNamespaces});
    EndpointOwners owners(processes);
    return ListenerRows(tables, owners);
}

ListRows BuildConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes,
                             bool includeIpv6, TrafficTracker* traffic, bool otherNamespaces) {
    const bool withTraffic = traffic != nullptr;
    auto tables = sockets.GetEndpointTables({.udp = true,
                                             .ipv6 = includeIpv6 || withTraffic,
                                             .traffic = withTraffic,
                                             .otherNamespaces = otherNamespaces});
    std::optional<TrafficView> view;
    if (traffic) {
        view = TakeTraffic(*traffic, tables);
        if (!includeIpv6)
            tables.tcp6.reset(), tables.udp6.reset();
    }
    EndpointOwners owners(processes);
    ListRows rows = TcpConnectionRows(tables, owners, view ? &*view : nullptr);
    ListRows udp = UdpEndpointRows(tables, owners);
    // UDP has no byte counter: its traffic cells stay empty, never a guess.
    if (view)
        for (ListRow& row : udp)
            AppendConnectionTraffic(row, std::nullopt, std::nullopt);
    rows.reserve(rows.size() + udp.size());
    rows.insert(rows.end(), std::make_move_iterator(udp.begin()),
                std::make_move_iterator(udp.end()));
    return rows;
}
