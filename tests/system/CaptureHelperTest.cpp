// The capture helper run as a user who holds nothing but what the helper
// carries (uid and gid 65534), as a member of the capture group runs it.

#include "platform/LinuxCaptureApi.h"
#include "support/CaptureHelpers.h"

#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

namespace {

int Domain(int fd) {
    int domain = -1;
    socklen_t length = sizeof domain;
    getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length);
    return domain;
}

// Runs command with input as its standard input; its exit status, and what
// it wrote to its standard error.
std::pair<int, std::string> RunWithInput(std::vector<std::string> command, int input) {
    int errors[2];
    pipe2(errors, O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    std::vector<char*> argv;
    for (std::string& word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    char* const environment[] = {nullptr};
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    close(errors[1]);
    char text[512];
    const ssize_t n = read(errors[0], text, sizeof text);
    close(errors[0]);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(text, n > 0 ? n : 0)};
}

// The descriptor that came with the message waiting on fd, or -1.
int ReceivedDescriptor(int fd) {
    char byte;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC) != 1 || !CMSG_FIRSTHDR(&message))
        return -1;
    int received;
    std::memcpy(&received, CMSG_DATA(CMSG_FIRSTHDR(&message)), sizeof received);
    return received;
}

const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534",
                                            "--regid=65534",    "--clear-groups",
                                            "--inh-caps=-all",  "--",
                                            "/usr/bin/env",     "-i"};

} // namespace

// Exit status 0 and a packet socket, or the status that names the refusal
// and nothing; never a word from the loader about the hostile variables.
TEST(CaptureHelper, HandsOverOnePacketSocketOnlyOverAConnectedUnixStream) {
    CaptureHelpers helpers;
    if (getuid() != 0 || !helpers.settable)
        GTEST_SKIP() << "needs root, setcap and a file system with extended attributes";
    const std::string hostile = "LD_PRELOAD=" + helpers.path().string() + "/hostile.so";
    const struct {
        const char* what;
        int type; // of the socket pair, or -1 for a pipe, 0 for an unconnected socket
        std::string helper;
        std::vector<std::string> variables, arguments;
        int status;
    } cases[] = {
        {"member", SOCK_STREAM, helpers.capable, {}, {}, 0},
        {"hostile variables",
         SOCK_STREAM,
         helpers.capable,
         {hostile, "LD_LIBRARY_PATH=" + helpers.path().string(), "QT_PLUGIN_PATH=/tmp"},
         {},
         0},
        {"an argument", SOCK_STREAM, helpers.capable, {}, {"--help"}, 2},
        {"a pipe", -1, helpers.capable, {}, {}, 2},
        {"an unconnected socket", 0, helpers.capable, {}, {}, 2},
        {"a datagram pair", SOCK_DGRAM, helpers.capable, {}, {}, 2},
        {"no capability", SOCK_STREAM, helpers.plain, {}, {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int ends[2];
        if (c.type > 0)
            socketpair(AF_UNIX, c.type | SOCK_CLOEXEC, 0, ends);
        else if (c.type < 0)
            pipe2(ends, O_CLOEXEC);
        else
            ends[0] = ends[1] = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        std::vector<std::string> command = kAsNobody;
        command.insert(command.end(), c.variables.begin(), c.variables.end());
        command.push_back(c.helper);
        command.insert(command.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(RunWithInput(command, c.type < 0 ? ends[0] : ends[1]),
                  std::make_pair(c.status, std::string()));
        int received = -1;
        if (c.type > 0)
            received = ReceivedDescriptor(ends[0]);
        EXPECT_EQ(Domain(received), c.status == 0 ? AF_PACKET : -1);
        for (int fd : {received, ends[0], ends[1]})
            close(fd);
    }
}

// The program without the capability (uid 65534, in a child of this test):
// the socket comes from the helper, or not at all, and a helper that hangs
// is stopped at the time limit.
TEST(CaptureHelper, OpenRawSocketWithoutTheCapabilityGoesThroughTheHelper) {
    CaptureHelpers helpers;
    if (getuid() != 0 || !helpers.settable)
        GTEST_SKIP() << "needs root, setcap and a file system with extended attributes";
    const std::pair<std::string, bool> cases[] = {
        {helpers.capable, true},     {helpers.plain, false},  {helpers.path() / "missing", false},
        {helpers.unrunnable, false}, {helpers.silent, false}, {helpers.hangs, false}};
    for (const auto& [helper, opens] : cases) {
        SCOPED_TRACE(helper);
        const pid_t child = fork();
        if (child == 0) {
            const bool dropped = setgroups(0, nullptr) == 0 &&
                                 setresgid(65534, 65534, 65534) == 0 &&
                                 setresuid(65534, 65534, 65534) == 0;
            platform::LinuxCaptureApi capture(helper, std::chrono::milliseconds(300));
            _exit(dropped ? capture.OpenRawSocket() != nullptr : 2);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, W_EXITCODE(opens, 0));
    }
}
