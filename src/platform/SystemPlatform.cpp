#include "LinuxProcessApi.h"
#include "Platform.h"

namespace platform {

Platform& SystemPlatform() {
    static LinuxProcessApi processes;
    static Platform system{processes};
    return system;
}

} // namespace platform
