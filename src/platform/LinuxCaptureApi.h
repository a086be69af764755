#pragma once

#include "CaptureApi.h"
#include "CaptureHelper.h"

#include <chrono>
#include <string>
#include <utility>

namespace platform {

// Capture through an AF_PACKET datagram socket, which hands over packets
// without their link-layer header, read from a memory-mapped ring. A process
// without CAP_NET_RAW has the socket opened by the capture helper at helper.
class LinuxCaptureApi : public CaptureApi {
  public:
    explicit LinuxCaptureApi(std::string helper,
                             std::chrono::milliseconds limit = kCaptureHelperLimit)
        : helper_(std::move(helper)), limit_(limit) {}
    int WSAStartup(uint16_t version) override;
    std::unique_ptr<PacketSocket> OpenRawSocket() override;

  private:
    std::string helper_;
    std::chrono::milliseconds limit_;
};

} // namespace platform
