// A capture helper gone wrong: it hands its standard input over twice in one
// message and exits as if all went well.

#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

int main() {
    char byte = 0;
    iovec data{&byte, 1};
    const int fds[] = {STDIN_FILENO, STDIN_FILENO};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof fds)]{};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof fds);
    std::memcpy(CMSG_DATA(rights), fds, sizeof fds);
    return sendmsg(STDIN_FILENO, &message, 0) == 1 ? 0 : 1;
}
