#pragma once

#include "CaptureApi.h"

namespace platform {

// Capture through an AF_PACKET datagram socket, which hands over packets
// without their link-layer header, read from a memory-mapped ring.
class LinuxCaptureApi : public CaptureApi {
  public:
    int WSAStartup(uint16_t version) override;
    std::unique_ptr<PacketSocket> OpenRawSocket() override;
};

} // namespace platform
