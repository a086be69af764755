#pragma once

// The settings of one capture, written by Start before the capture thread
// runs and only read while it runs.

#include <cstdint>
#include <string>

struct CaptureSettings {
    std::string Protocol;        // "ANY", "TCP", "UDP", "ICMP" or "IGMP"
    std::string DestinationIp;   // empty: any destination
    std::string SourceIp;        // empty: any source
    std::string LocalIp;         // the address whose interface is captured
    int32_t DestinationPort = 0; // 0: any; TCP only
    int32_t SourcePort = 0;      // 0: any; TCP only
    int32_t DumpEnabled = 0;     // 1: write dump records
};
