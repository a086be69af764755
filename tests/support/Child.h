#pragma once

// A process a test started, ended whatever the test's outcome, and reaped
// when it is the test's own child; 0 stands for none.

#include <signal.h>
#include <sys/wait.h>

struct Child {
    pid_t pid;
    ~Child() {
        if (pid > 0 && kill(pid, SIGKILL) == 0)
            waitpid(pid, nullptr, 0);
    }
};
