#include "CaptureHelper.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// The helper with end as its standard input; every other descriptor of ours
// but the standard output and error stays behind. -1 when it cannot start.
pid_t Start(const std::string& path, int end) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, end, STDIN_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    char* const environment[] = {nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, arguments, environment) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool WaitReadable(int fd, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left.count()));
        if (ready >= 0 || errno != EINTR)
            return ready > 0;
    }
}

// Reads one message. The descriptor of a message that carries exactly one is
// kept in received when that holds none yet; every other descriptor that
// came, already ours once received, is closed. 0 at the end of the stream.
ssize_t Receive(int from, int& received) {
    char byte;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do
        n = recvmsg(from, &message, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    for (cmsghdr* c = n < 0 ? nullptr : CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof fd, sizeof fd);
            if (received < 0 && count == 1)
                received = fd;
            else
                close(fd);
        }
    }
    return n;
}

bool IsPacketSocket(int fd) {
    int domain = 0, type = 0;
    socklen_t length = sizeof domain;
    if (getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0)
        return false;
    length = sizeof type;
    return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && domain == AF_PACKET &&
           type == SOCK_DGRAM;
}

} // namespace

// The helper sends the socket and exits, which closes its end of the pair:
// reading until then takes no longer than the helper does.
int PacketSocketFromHelper(const std::string& path, std::chrono::milliseconds limit) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return -1;
    const pid_t helper = Start(path, ends[1]);
    close(ends[1]);
    int received = -1;
    bool ended = false;
    const auto deadline = Clock::now() + limit;
    while (helper > 0 && !ended && WaitReadable(ends[0], deadline)) {
        const ssize_t n = Receive(ends[0], received);
        if (n < 0)
            break;
        ended = n == 0;
    }
    close(ends[0]);
    int status = -1;
    if (helper > 0) {
        if (!ended)
            kill(helper, SIGKILL);
        while (waitpid(helper, &status, 0) < 0 && errno == EINTR) {
        }
    }
    const bool handed = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (received >= 0 && !(handed && IsPacketSocket(received))) {
        close(received);
        received = -1;
    }
    return received;
}

} // namespace platform
