// Records the kernel's raw replies to the four socket dumps the endpoint
// tables make (TCP and UDP, AF_INET and AF_INET6) into a file that the unit
// tests replay. It opens a fixed set of loopback sockets first, so run it in a
// private network namespace to record those alone:
//
//   unshare --net sh -c 'ip link set lo up && build/bench/sockdiag_record out.dump'
//
// File layout, host byte order: per dump the family, protocol, nlmsg_seq,
// port id and datagram count (5 x u32), then each datagram as a u32 length
// and its bytes.

#include "platform/SockDiag.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace platform::sockdiag;

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::perror(what);
        std::exit(1);
    }
}

int Bound(int family, int type, const char* address, uint16_t port, int v6Only = -1) {
    const int fd = socket(family, type | SOCK_CLOEXEC, 0);
    Check(fd >= 0, "socket");
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (v6Only >= 0)
        Check(setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) == 0, "v6only");
    sockaddr_storage storage{};
    socklen_t length;
    if (family == AF_INET) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        inet_pton(AF_INET, address, &in->sin_addr);
        length = sizeof *in;
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        inet_pton(AF_INET6, address, &in6->sin6_addr);
        length = sizeof *in6;
    }
    Check(bind(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0, address);
    return fd;
}

void ConnectTo(int fd, const char* address, uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    inet_pton(AF_INET, address, &peer.sin_addr);
    Check(connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0, "connect");
}

int Listening(int fd) {
    Check(listen(fd, 8) == 0, "listen");
    return fd;
}

int Accepted(int listener) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    Check(fd >= 0, "accept");
    return fd;
}

// The ports are fixed so that a recording made in a fresh namespace is
// always the same set of endpoints. The sockets stay open until the program
// ends.
void OpenLoopbackSockets() {
    const int listener = Listening(Bound(AF_INET, SOCK_STREAM, "127.0.0.1", 5001));
    ConnectTo(Bound(AF_INET, SOCK_STREAM, "127.0.0.1", 5002), "127.0.0.1", 5001);
    Accepted(listener);
    const int dualStack = Listening(Bound(AF_INET6, SOCK_STREAM, "::", 5003, 0));
    ConnectTo(Bound(AF_INET, SOCK_STREAM, "127.0.0.1", 5004), "127.0.0.1", 5003);
    Accepted(dualStack);
    Listening(Bound(AF_INET6, SOCK_STREAM, "::", 5005, 1));
    Listening(Bound(AF_INET6, SOCK_STREAM, "::1", 5006));
    Bound(AF_INET, SOCK_DGRAM, "127.0.0.1", 5007);
    Bound(AF_INET6, SOCK_DGRAM, "::", 5008, 0);
    Bound(AF_INET6, SOCK_DGRAM, "::", 5009, 1);
    ConnectTo(Bound(AF_INET6, SOCK_DGRAM, "::", 5010, 0), "127.0.0.1", 5007);
    // The side that closes first stays in TIME_WAIT, owned by no process.
    const int client = Bound(AF_INET, SOCK_STREAM, "127.0.0.1", 5011);
    ConnectTo(client, "127.0.0.1", 5001);
    const int server = Accepted(listener);
    close(client);
    usleep(50 * 1000);
    close(server);
    usleep(50 * 1000);
}

void Put(FILE* out, uint32_t value) {
    Check(std::fwrite(&value, sizeof value, 1, out) == 1, "write");
}

void RecordDump(FILE* out, SockDiagSocket& diag, uint8_t family, uint8_t protocol, uint32_t seq) {
    const DumpRequest request = MakeDumpRequest(family, protocol, kEveryReportedState, seq);
    Check(diag.Send(request), "send");
    DumpReader reader(seq, diag.PortId());
    std::vector<std::vector<uint8_t>> datagrams;
    DumpStatus status = DumpStatus::More;
    while (status == DumpStatus::More) {
        const auto datagram = diag.Receive();
        Check(datagram.has_value(), "receive");
        datagrams.emplace_back(datagram->begin(), datagram->end());
        status = reader.Feed(*datagram);
    }
    Check(status == DumpStatus::Done, "dump");
    for (uint32_t value : {uint32_t{family}, uint32_t{protocol}, seq, diag.PortId(),
                           static_cast<uint32_t>(datagrams.size())})
        Put(out, value);
    for (const auto& datagram : datagrams) {
        Put(out, static_cast<uint32_t>(datagram.size()));
        Check(std::fwrite(datagram.data(), 1, datagram.size(), out) == datagram.size(), "write");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    OpenLoopbackSockets();
    auto diag = SockDiagSocket::Open();
    Check(diag.has_value(), "netlink");
    FILE* out = std::fopen(argv[1], "wb");
    Check(out != nullptr, argv[1]);
    uint32_t seq = 1;
    for (uint8_t protocol : {IPPROTO_TCP, IPPROTO_UDP})
        for (uint8_t family : {AF_INET, AF_INET6})
            RecordDump(out, *diag, family, protocol, seq++);
    Check(std::fclose(out) == 0, "close");
    return 0;
}
