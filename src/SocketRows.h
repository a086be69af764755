#pragma once

// Rows of the Listeners and Connections lists, built from the endpoint tables
// and the owner of each endpoint, without any widget.

#include "ListRow.h"
#include "platform/ProcessApi.h"
#include "platform/SocketTableApi.h"

#include <cstdint>
#include <string>

std::string TcpStateName(uint32_t state);

// Dotted-quad text of an address held in network byte order.
std::string AddressText(uint32_t address);

// The port held in network byte order in the low 16 bits of a port field.
uint16_t PortNumber(uint32_t portField);

// The owner's executable name and path: "" for both when the process cannot
// be opened or has no executable we may read, "<unknown>" for a failed query.
struct EndpointOwner {
    std::string name;
    std::string fileName;
};
EndpointOwner LookupOwner(platform::ProcessApi& processes, uint32_t pid);

// Listening TCP endpoints only.
ListRows ListenerRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes);
ListRows TcpConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes);
ListRows UdpEndpointRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes);
// Every TCP row, then every UDP row.
ListRows BuildConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes);
