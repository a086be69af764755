// quillmark-capture-helper: the one program that holds CAP_NET_RAW. It opens
// a packet socket, gives up the capability, hands the socket to the process
// that started it and exits; that process binds, filters and reads it, which
// needs no capability. It takes no arguments and reads no environment.
//
// Its standard input must be a connected UNIX stream socket: the socket goes
// over it (SCM_RIGHTS), and nothing else is read or written. Exit status: 0
// when the socket was handed over, 1 when it could not be opened or sent, 2
// when started any other way (then nothing is opened).

#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kStarter = STDIN_FILENO;

int SocketOption(int fd, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    return getsockopt(fd, SOL_SOCKET, name, &value, &length) == 0 ? value : -1;
}

bool IsConnectedUnixStream(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return SocketOption(fd, SO_DOMAIN) == AF_UNIX && SocketOption(fd, SO_TYPE) == SOCK_STREAM &&
           getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

// Empties every capability set; the ambient set empties with them.
bool DropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
    return syscall(SYS_capset, &header, none) == 0;
}

bool Send(int to, int fd) {
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &fd, sizeof fd);
    ssize_t sent;
    do
        sent = sendmsg(to, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == 1;
}

} // namespace

int main(int argc, char**) {
    if (argc != 1 || !IsConnectedUnixStream(kStarter))
        return 2;
    // Protocol 0: the socket queues nothing until its receiver binds it.
    const int packet = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (packet < 0)
        return 1;
    return DropCapabilities() && Send(kStarter, packet) ? 0 : 1;
}
