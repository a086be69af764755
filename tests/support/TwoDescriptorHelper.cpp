// A capture helper gone wrong: it hands its standard input over twice in one
// message and exits as if all went well.

#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

int main() {
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))]{};
    msghdr message{nullptr, 0, &data, 1, control, sizeof control, 0};
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    *rights = {CMSG_LEN(2 * sizeof(int)), SOL_SOCKET, SCM_RIGHTS};
    const int fds[] = {STDIN_FILENO, STDIN_FILENO};
    std::memcpy(CMSG_DATA(rights), fds, sizeof fds);
    return sendmsg(STDIN_FILENO, &message, 0) == 1 ? 0 : 1;
}
