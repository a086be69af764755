#pragma once

// Rows of the Listeners and Connections lists, built from the endpoint tables
// and the owner of each endpoint, without any widget.

#include "ListRow.h"
#include "TrafficTracker.h"
#include "platform/ProcessApi.h"
#include "platform/SocketTableApi.h"

#include <cstdint>
#include <string>
#include <unordered_map>

std::string TcpStateName(uint32_t state);

// Dotted-quad text of an address held in network byte order.
std::string AddressText(uint32_t address);
// The shortest standard text of an IPv6 address (RFC 5952, as inet_ntop).
std::string Address6Text(const platform::Ipv6Address& address);

// The port held in network byte order in the low 16 bits of a port field.
uint16_t PortNumber(uint32_t portField);

// The owner's executable name and path: "" for both when the process cannot
// be opened or has no executable we may read, "<unknown>" for a failed query.
struct EndpointOwner {
    std::string name;
    std::string fileName;
    std::optional<uint64_t> startTime = std::nullopt;
};
EndpointOwner LookupOwner(platform::ProcessApi& processes, uint32_t pid);

// The owners of one rebuild: each process is looked up once, when its first
// endpoint is, and forgotten with the rebuild.
class EndpointOwners {
  public:
    explicit EndpointOwners(platform::ProcessApi& processes) : processes_(processes) {}
    const EndpointOwner& Of(uint32_t pid);

  private:
    platform::ProcessApi& processes_;
    std::unordered_map<uint32_t, EndpointOwner> known_;
};

// Listening TCP endpoints only, the IPv6 ones after the IPv4 ones.
ListRows ListenerRows(const platform::EndpointTables& tables, EndpointOwners& owners);
// TCP rows, then TCP6 rows; with a traffic view, each with its traffic cells.
ListRows TcpConnectionRows(const platform::EndpointTables& tables, EndpointOwners& owners,
                           const TrafficView* traffic = nullptr);
// UDP rows, then UDP6 rows.
ListRows UdpEndpointRows(const platform::EndpointTables& tables, EndpointOwners& owners);

// A whole list from fresh tables: the IPv6 rows, and those of the other
// network namespaces, only when asked for.
ListRows BuildListenerRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes,
                           bool includeIpv6, bool otherNamespaces = false);
// Every TCP row, then every UDP row; with a tracker, the traffic cells too,
// taken from every TCP socket whether its row is shown or not.
ListRows BuildConnectionRows(platform::SocketTableApi& sockets, platform::ProcessApi& processes,
                             bool includeIpv6, TrafficTracker* traffic = nullptr,
                             bool otherNamespaces = false);
