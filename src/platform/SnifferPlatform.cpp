#include "SnifferPlatform.h"

#include "LinuxCaptureApi.h"
#include "LinuxFileSystem.h"

namespace platform {

SnifferPlatform& SystemSnifferPlatform() {
    static LinuxCaptureApi capture;
    static LinuxFileSystem files;
    static SystemLocalClock clock;
    static SnifferPlatform system{capture, files, clock};
    return system;
}

} // namespace platform
