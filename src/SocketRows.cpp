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

ListRows ListenerRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows;
    const auto table = sockets.GetExtendedTcpTable();
    if (!table)
        return rows;
    for (const auto& entry : *table) {
        if (entry.dwState != kListening)
            continue;
        auto owner = LookupOwner(processes, entry.dwOwningPid);
        rows.push_back(
            {std::to_string(entry.dwOwningPid),
             {AddressText(entry.dwLocalAddr), std::to_string(PortNumber(entry.dwLocalPort)),
              std::move(owner.name), std::move(owner.fileName)}});
    }
    return rows;
}

ListRows TcpConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows;
    const auto table = sockets.GetExtendedTcpTable();
    if (!table)
        return rows;
    rows.reserve(table->size());
    for (const auto& entry : *table) {
        auto owner = LookupOwner(processes, entry.dwOwningPid);
        rows.push_back(
            {std::to_string(entry.dwOwningPid),
             {"TCP", AddressText(entry.dwLocalAddr), std::to_string(PortNumber(entry.dwLocalPort)),
              AddressText(entry.dwRemoteAddr), std::to_string(PortNumber(entry.dwRemotePort)),
              TcpStateName(entry.dwState), std::move(owner.name), std::move(owner.fileName)}});
    }
    return rows;
}

ListRows UdpEndpointRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows;
    const auto table = sockets.GetExtendedUdpTable();
    if (!table)
        return rows;
    rows.reserve(table->size());
    for (const auto& entry : *table) {
        auto owner = LookupOwner(processes, entry.dwOwningPid);
        rows.push_back(
            {std::to_string(entry.dwOwningPid),
             {"UDP", AddressText(entry.dwLocalAddr), std::to_string(PortNumber(entry.dwLocalPort)),
              kNotApplicable, kNotApplicable, kNotApplicable, std::move(owner.name),
              std::move(owner.fileName)}});
    }
    return rows;
}

ListRows BuildConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes) {
    ListRows rows = TcpConnectionRows(sockets, processes);
    ListRows udp = UdpEndpointRows(sockets, processes);
    rows.insert(rows.end(), std::make_move_iterator(udp.begin()),
                std::make_move_iterator(udp.end()));
    return rows;
}
