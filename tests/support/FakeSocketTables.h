#pragma once

#include "platform/SocketTableApi.h"

#include <cstring>

// Endpoint tables made up by a test; nullopt makes that fetch fail.
class FakeSocketTables : public platform::SocketTableApi {
  public:
    std::optional<std::vector<platform::MibTcpRowOwnerPid>> tcp =
        std::vector<platform::MibTcpRowOwnerPid>{};
    std::optional<std::vector<platform::MibUdpRowOwnerPid>> udp =
        std::vector<platform::MibUdpRowOwnerPid>{};

    std::optional<std::vector<platform::MibTcpRowOwnerPid>> GetExtendedTcpTable() override {
        return tcp;
    }
    std::optional<std::vector<platform::MibUdpRowOwnerPid>> GetExtendedUdpTable() override {
        return udp;
    }
};

// A 32-bit table field holding these bytes in memory order, as the kernel's
// network-order fields do.
inline uint32_t Stored(unsigned char b0, unsigned char b1, unsigned char b2 = 0,
                       unsigned char b3 = 0) {
    const unsigned char bytes[4] = {b0, b1, b2, b3};
    uint32_t field;
    std::memcpy(&field, bytes, sizeof field);
    return field;
}

inline uint32_t Port(uint16_t port) {
    return Stored(port >> 8, port & 0xFF);
}
