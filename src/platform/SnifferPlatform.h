#pragma once

// What the packet sniffer reaches of the operating system: the raw socket,
// the files of the dump log and the local clock.

#include "CaptureApi.h"
#include "FileSystem.h"
#include "LocalClock.h"

namespace platform {

struct SnifferPlatform {
    CaptureApi& capture;
    FileSystem& files;
    LocalClock& clock;
};

// The real ones.
SnifferPlatform& SystemSnifferPlatform();

} // namespace platform
