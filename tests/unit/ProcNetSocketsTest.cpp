// The socket tables of /proc/PID/net as the kernel writes them, and lines
// that are cut or spoilt.

#include "platform/ProcNetSockets.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

TEST(ProcNetSockets, ReadsEachWholeLineAndPassesOverTheRest) {
    const auto entry = [](uint8_t family, const char* local, uint16_t port, const char* remote,
                          uint16_t remotePort, uint8_t state, uint32_t inode) {
        platform::sockdiag::InetDiagEntry e{
            .family = family, .state = state, .localPort = port, .remotePort = remotePort};
        inet_pton(family, local, e.localAddr.data());
        inet_pton(family, remote, e.remoteAddr.data());
        e.inode = inode;
        return e;
    };
    const std::string tail = " 00000000:00000000 00:00000000 00000000     0        0 ";
    const struct {
        uint8_t family;
        std::string text;
        std::vector<platform::sockdiag::InetDiagEntry> entries;
    } cases[] = {
        {AF_INET,
         "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
         "   0: 0100007F:1F90 00000000:0000 0A" +
             tail +
             "1367 1 0 100 0 0 10 0\n"
             "   1: 0100007F:B7A4 0200000A:01BB 01" +
             tail +
             "4242\n"
             "   2: 0100007F:1F9 00000000:0000 0A" +
             tail +
             "1\n"
             "   3: 0100007G:1F90 00000000:0000 0A" +
             tail +
             "1\n"
             "   4: 0100007F:1F90 00000000:0000 0A" +
             tail +
             "\n"
             "   5: 0100007F:1F90",
         {entry(AF_INET, "127.0.0.1", 8080, "0.0.0.0", 0, 10, 1367),
          entry(AF_INET, "127.0.0.1", 47012, "10.0.0.2", 443, 1, 4242)}},
        {AF_INET6,
         "   0: 00000000000000000000000001000000:0016 00000000000000000000000000000000:0000 0A" +
             tail + "99",
         {entry(AF_INET6, "::1", 22, "::", 0, 10, 99)}},
        {AF_INET6, "   0: 0100007F:1F90 00000000:0000 0A" + tail + "1", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ParseProcNetSockets(c.text, c.family), c.entries) << c.text;
}
