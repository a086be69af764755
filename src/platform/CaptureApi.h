#pragma once

// The raw socket of the capture thread: one whole IPv4 packet per receive,
// IP header first, from the interface that holds a given local address.

#include <cstdint>
#include <memory>

namespace platform {

// An open capture socket; destroying it closes the socket.
class PacketSocket {
  public:
    virtual ~PacketSocket() = default;
    // Ties the socket to the interface holding address (network byte order);
    // false when no interface holds it.
    virtual bool Bind(uint32_t address) = 0;
    // Switches to receiving every IPv4 packet seen on that interface.
    virtual bool ReceiveAll() = 0;
    // Waits for one packet and copies at most length bytes of it to buffer;
    // the number of bytes copied, or 0 or less on failure.
    virtual int Receive(uint8_t* buffer, int length) = 0;
};

class CaptureApi {
  public:
    virtual ~CaptureApi() = default;
    // 0 when the socket library is ready for the requested version.
    virtual int WSAStartup(uint16_t version) = 0;
    // Null when no raw socket can be had (on Linux: without CAP_NET_RAW).
    virtual std::unique_ptr<PacketSocket> OpenRawSocket() = 0;
};

} // namespace platform
