#pragma once

// Sockets that tests open on loopback addresses: a private network to open
// them in, a descriptor closed when it goes, and openers that throw when the
// kernel refuses.

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

// Moves this process into a network namespace of its own, its loopback up
// and root and user 65534 allowed ICMP datagram sockets there (to ping
// without a capability), so it sees no other socket of the machine; false
// when it may not (that needs CAP_SYS_ADMIN) or there is no ip or sysctl.
inline bool EnterPrivateNetwork() {
    const char* setUp = "ip link set lo up && sysctl -qw net.ipv4.ping_group_range='0 65534'";
    return unshare(CLONE_NEWNET) == 0 && std::system(setUp) == 0;
}

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    ~Fd() { Close(); }
    void Close() {
        if (fd >= 0)
            close(std::exchange(fd, -1));
    }
};

// An IPv4 or IPv6 socket address; sockaddr_in6 is large enough for either,
// and sin_port lies where sin6_port does.
inline sockaddr_in6 Address(int family, const char* text, uint16_t port) {
    sockaddr_in6 address{};
    address.sin6_family = static_cast<sa_family_t>(family);
    address.sin6_port = htons(port);
    void* ip = &address.sin6_addr;
    if (family == AF_INET)
        ip = &reinterpret_cast<sockaddr_in&>(address).sin_addr;
    inet_pton(family, text, ip);
    return address;
}

inline const sockaddr* Raw(const sockaddr_in6& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}

// A socket that may reuse a port still in TIME_WAIT.
inline Fd Socket(int family, int type) {
    Fd socket(::socket(family, type | SOCK_CLOEXEC, 0));
    const int one = 1;
    setsockopt(socket.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    return socket;
}

// A socket bound to address and port (0: the kernel picks one), listening when
// it is TCP; v6Only sets IPV6_V6ONLY unless it is -1.
inline Fd Open(int family, int type, const char* address, uint16_t port = 0, int v6Only = -1) {
    Fd socket = Socket(family, type);
    if (v6Only >= 0)
        setsockopt(socket.fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
    const sockaddr_in6 local = Address(family, address, port);
    if (bind(socket.fd, Raw(local), sizeof local) != 0 ||
        (type == SOCK_STREAM && listen(socket.fd, 4) != 0))
        throw std::runtime_error(std::string("cannot bind ") + address);
    return socket;
}

// A TCP connection to address and port, from fromPort of the same address
// when it is not 0.
inline Fd Connect(int family, const char* address, uint16_t port, uint16_t fromPort = 0) {
    Fd socket = Socket(family, SOCK_STREAM);
    const sockaddr_in6 local = Address(family, address, fromPort);
    const sockaddr_in6 peer = Address(family, address, port);
    if ((fromPort != 0 && bind(socket.fd, Raw(local), sizeof local) != 0) ||
        connect(socket.fd, Raw(peer), sizeof peer) != 0)
        throw std::runtime_error("cannot connect");
    return socket;
}
