#pragma once

// A forked child of a test, ended and reaped whatever the test's outcome.

#include <signal.h>
#include <sys/wait.h>

struct Child {
    pid_t pid;
    ~Child() {
        if (pid > 0 && kill(pid, SIGKILL) == 0)
            waitpid(pid, nullptr, 0);
    }
};
