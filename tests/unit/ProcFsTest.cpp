#include "platform/ProcFs.h"

#include <gtest/gtest.h>

using namespace platform::procfs;

TEST(StatusBytes, ReadsKilobyteFieldsAsBytes) {
    const std::string status =
        "Name:\tbash\nVmHWM:\t    5004 kB\nVmRSS:\t    4300 kB\n"
        "VmRSSX:\t1 kB\nThreads:\t1\nBad:\t12 MB\nHuge:\t99999999999999999999 kB\n";
    const struct {
        const char* key;
        std::optional<uint64_t> bytes;
    } cases[] = {{"VmRSS", 4300u * 1024},  {"VmHWM", 5004u * 1024},   {"VmRSSX", 1024u},
                 {"VmSwap", std::nullopt}, {"Threads", std::nullopt}, {"Bad", std::nullopt},
                 {"Huge", std::nullopt},   {"Vm", std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(StatusBytes(status, c.key), c.bytes) << c.key;
    EXPECT_EQ(StatusBytes("VmRSS:\t7 kB", "VmRSS"), 7u * 1024) << "no final newline";
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
        "7ffe0000-7ffe1000 r-xp 00000000 00:05 9 /memfd:jit (deleted)\n"
        "garbage\n"
        "7fff0000-7fff1000 r-xp 00000000 fe:01\n";
    EXPECT_EQ(ExecutableMappings(maps),
              (std::vector<std::string>{"/usr/bin/my tool", "/lib/libc.so.6",
                                        "/tmp/plugin.so (deleted)", "/memfd:jit (deleted)"}));
    EXPECT_TRUE(ExecutableMappings("").empty());
}

TEST(BaseName, LastPathComponent) {
    EXPECT_EQ(BaseName("/usr/bin/bash"), "bash");
    EXPECT_EQ(BaseName("/opt/a b/c d (deleted)"), "c d (deleted)");
    EXPECT_EQ(BaseName("plain"), "plain");
    EXPECT_EQ(BaseName(""), "");
}
