#pragma once

// Everything the windows reach of the operating system, in one bundle, so a
// test can hand the windows fakes instead.

#include "ProcessApi.h"

namespace platform {

struct Platform {
    ProcessApi& processes;
};

// The real operating system.
Platform& SystemPlatform();

} // namespace platform
