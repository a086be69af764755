#pragma once

// The raw socket of the capture thread: one whole IPv4 packet per receive,
// IP header first, from the interface that holds a given local address, in
// both directions.

#include <cstdint>
#include <ctime>
#include <linux/filter.h>
#include <memory>
#include <vector>

namespace platform {

// An open capture socket; destroying it closes the socket.
class PacketSocket {
  public:
    virtual ~PacketSocket() = default;
    // Ties the socket to the interface holding address (network byte order);
    // false when no interface holds it. Nothing is received yet.
    virtual bool Bind(uint32_t address) = 0;
    // Starts receiving every packet that filter keeps on that interface,
    // sent and received alike (on loopback, where each packet is both, once).
    virtual bool ReceiveAll(const std::vector<sock_filter>& filter) = 0;
    // Puts filter in place of the one given to ReceiveAll; safe while another
    // thread waits in Receive.
    virtual bool ReplaceFilter(const std::vector<sock_filter>& filter) = 0;
    // Waits for one packet and copies at most length bytes of it to buffer,
    // and the time the kernel took it to captured; the number of bytes
    // copied, or 0 or less on failure.
    virtual int Receive(uint8_t* buffer, int length, timespec& captured) = 0;
    // The packets the kernel has dropped for want of room since receiving
    // began, as last counted; counted at least whenever Receive has to wait.
    virtual uint64_t Drops() = 0;
    // Counts the drops now, and returns Drops().
    virtual uint64_t CountDrops() = 0;
};

class CaptureApi {
  public:
    virtual ~CaptureApi() = default;
    // 0 when the socket library is ready for the requested version.
    virtual int WSAStartup(uint16_t version) = 0;
    // Null when no raw socket can be had (on Linux: when neither this
    // process nor the capture helper may open one).
    virtual std::unique_ptr<PacketSocket> OpenRawSocket() = 0;
};

} // namespace platform
