// Readers of /proc text, fed fixtures: a process's stat line, and the
// socket tables of /proc/PID/net as the kernel writes them, with lines that
// are cut or spoilt.

#include "platform/ProcFs.h"

#include "platform/ProcNetSockets.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

// The start time is field 22 of stat, counted after the name, which may hold
// spaces and parentheses; a line cut short has none.
TEST(StatStartTime, IsField22CountedAfterTheName) {
    const std::string rest = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 777 0 1\n";
    const std::pair<std::string, std::optional<uint64_t>> cases[] = {
        {"42 (sleep)" + rest, 777},
        {"42 (a) (b 9 9)" + rest, 777},
        {"42 (sleep) S 1 2 3\n", std::nullopt},
        {"42 (sleep) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 x", std::nullopt},
    };
    for (const auto& [stat, ticks] : cases)
        EXPECT_EQ(platform::procfs::StatStartTime(stat), ticks) << stat;
}

namespace {

// "LOCAL:PORT REMOTE:PORT STATE INODE"
std::vector<std::string> Read(const std::string& text, uint8_t family) {
    std::vector<std::string> read;
    for (const auto& e : platform::ParseProcNetSockets(text, family)) {
        char local[INET6_ADDRSTRLEN], remote[INET6_ADDRSTRLEN];
        inet_ntop(family, e.localAddr.data(), local, sizeof local);
        inet_ntop(family, e.remoteAddr.data(), remote, sizeof remote);
        read.push_back(std::string(local) + ":" + std::to_string(e.localPort) + " " + remote + ":" +
                       std::to_string(e.remotePort) + " " + std::to_string(e.state) + " " +
                       std::to_string(e.inode));
    }
    return read;
}

} // namespace

TEST(ProcNetSockets, ReadsEachWholeLineAndPassesOverTheRest) {
    const auto line = [](const std::string& start, const std::string& end) {
        return start + " 00000000:00000000 00:00000000 00000000     0        0 " + end + "\n";
    };
    const std::string ipv4 =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n" +
        line("   0: 0100007F:1F90 00000000:0000 0A", "1367 1 0 100 0 0 10 0") +
        line("   1: 0100007F:B7A4 0200000A:01BB 01", "4242") +
        line("   2: 0100007F:1F9 00000000:0000 0A", "1") +
        line("   3: 0100007G:1F90 00000000:0000 0A", "1") +
        line("   4: 0100007F:1F90 00000000:0000 0A", "") + "   5: 0100007F:1F90";
    EXPECT_EQ(Read(ipv4, AF_INET),
              (std::vector<std::string>{"127.0.0.1:8080 0.0.0.0:0 10 1367",
                                        "127.0.0.1:47012 10.0.0.2:443 1 4242"}));
    EXPECT_TRUE(Read(ipv4, AF_INET6).empty());
    std::string ipv6 = line("   0: 00000000000000000000000001000000:0016 "
                            "00000000000000000000000000000000:0000 0A",
                            "99");
    ipv6.pop_back(); // the last line needs no line break
    EXPECT_EQ(Read(ipv6, AF_INET6), std::vector<std::string>{"::1:22 :::0 10 99"});
}
