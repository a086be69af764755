#pragma once

#include "CaptureApi.h"

namespace platform {

// Capture through an AF_PACKET datagram socket, which hands over IPv4
// packets without their link-layer header.
class LinuxCaptureApi : public CaptureApi {
  public:
    int WSAStartup(uint16_t version) override;
    std::unique_ptr<PacketSocket> OpenRawSocket() override;
};

} // namespace platform
