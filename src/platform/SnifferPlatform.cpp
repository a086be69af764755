#include "SnifferPlatform.h"

#include "LinuxCaptureApi.h"
#include "LinuxFileSystem.h"

namespace platform {

SnifferPlatform& SystemSnifferPlatform() {
    static LinuxFileSystem files;
    static LinuxCaptureApi capture(files.ExecutableDirectory() + kCaptureHelperName);
    static SystemLocalClock clock;
    static SnifferPlatform system{capture, files, clock};
    return system;
}

} // namespace platform
