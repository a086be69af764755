// The /proc text readers on texts the kernel could write; this machine's
// own /proc is LinuxProcessApi's test.

#include "platform/ProcFs.h"

#include <gtest/gtest.h>

using namespace platform::procfs;

TEST(StatusBytes, ReadsTheWholeKeysKilobytesAsBytes) {
    const std::string status = "Name:\tbash\nVmRSSX:\t1 kB\nVmRSS:\t    4300 kB\nBad:\t12 MB\n";
    EXPECT_EQ(StatusBytes(status, "VmRSS"), 4300u * 1024);
    EXPECT_EQ(StatusBytes(status, "Bad"), std::nullopt);
    EXPECT_EQ(StatusBytes(status, "VmHWM"), std::nullopt);
}

TEST(ExecutableMappings, EachExecutableFileOnceInAddressOrder) {
    const std::string maps =
        "55d0a000-55d0b000 r--p 00000000 fe:01 100 /usr/bin/my tool\n"
        "55d0b000-55d0c000 r-xp 00001000 fe:01 100 /usr/bin/my tool\n"
        "7f000000-7f001000 r-xp 00000000 fe:01 200                  /lib/libc.so.6\n"
        "7f001000-7f002000 r-xp 00001000 fe:01 200 /lib/libc.so.6\n"
        "7f002000-7f003000 rw-p 00000000 00:00 0 \n"
        "7f003000-7f004000 r-xp 00000000 fe:01 300 /tmp/plugin.so (deleted)\n"
        "7f004000-7f005000 r--p 00000000 fe:01 400 /lib/data.bin\n"
        "7ffd0000-7ffd1000 r-xp 00000000 00:00 0 [vdso]\n"
        "garbage\n"
        "7fff0000-7fff1000 r-xp 00000000 fe:01\n";
    EXPECT_EQ(ExecutableMappings(maps),
              (std::vector<std::string>{"/usr/bin/my tool", "/lib/libc.so.6",
                                        "/tmp/plugin.so (deleted)"}));
}
