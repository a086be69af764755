#pragma once

// Everything the windows reach of the operating system, in one bundle, so a
// test can hand the windows fakes instead.

#include "ProcessApi.h"
#include "ProcessControl.h"
#include "SnifferPlatform.h"
#include "SocketTableApi.h"

namespace platform {

struct Platform {
    ProcessApi& processes;
    SocketTableApi& sockets;
    // The real sniffer platform unless a test hands in fakes.
    SnifferPlatform& sniffer = SystemSnifferPlatform();
    ProcessControl& control = SystemProcessControl();
};

// The real operating system.
Platform& SystemPlatform();

} // namespace platform
