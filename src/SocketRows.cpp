#include "SocketRows.h"

#include "ProcessRows.h"

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

uint16_t PortNumber(uint32_t portField) {
    return ntohs(static_cast<uint16_t>(portField & 0xFFFF));
}

EndpointOwner LookupOwner(platform::ProcessApi& processes, uint32_t pid) {
    const auto process = processes.OpenProcess(pid);
    if (!process)
        return {};
    auto names = FirstModuleNames(*process);
    if (!names)
        return {};
    return {names->baseName.value_or(kUnknownName), names->fileName.value_or(kUnknownName)};
}

namespace {

// A row of an endpoint owned by pid: its cells, then the owner's two names.
ListRow EndpointRow(platform::ProcessApi& processes, uint32_t pid, std::vector<std::string> cells) {
    EndpointOwner owner = LookupOwner(processes, pid);
    cells.push_back(std::move(owner.name));
    cells.push_back(std::move(owner.fileName));
    return {std::to_string(pid), std::move(cells)};
}

std::string PortText(uint32_t portField) {
    return std::to_string(PortNumber(portField));
}

} // namespace

ListRows ListenerRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows;
    if (const auto table = sockets.GetExtendedTcpTable())
        for (const auto& entry : *table)
            if (entry.dwState == kListening)
                rows.push_back(
                    EndpointRow(processes, entry.dwOwningPid,
                                {AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort)}));
    return rows;
}

ListRows TcpConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows;
    if (const auto table = sockets.GetExtendedTcpTable())
        for (const auto& entry : *table)
            rows.push_back(
                EndpointRow(processes, entry.dwOwningPid,
                            {"TCP", AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort),
                             AddressText(entry.dwRemoteAddr), PortText(entry.dwRemotePort),
                             TcpStateName(entry.dwState)}));
    return rows;
}

ListRows UdpEndpointRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows;
    if (const auto table = sockets.GetExtendedUdpTable())
        for (const auto& entry : *table)
            rows.push_back(
                EndpointRow(processes, entry.dwOwningPid,
                            {"UDP", AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort),
                             kNotApplicable, kNotApplicable, kNotApplicable}));
    return rows;
}

ListRows BuildConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows = TcpConnectionRows(sockets, processes);
    ListRows udp = UdpEndpointRows(sockets, processes);
    rows.insert(rows.end(), std::make_move_iterator(udp.begin()),
                std::make_move_iterator(udp.end()));
    return rows;
}
