#include "LinuxProcessApi.h"
#include "LinuxSocketTables.h"
#include "Platform.h"

namespace platform {

Platform& SystemPlatform() {
    static LinuxProcessApi processes;
    static LinuxSocketTables sockets;
    static Platform system{processes, sockets};
    return system;
}

} // namespace platform
