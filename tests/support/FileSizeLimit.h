#pragma once

// While one lives, no file of this process may grow past a size: a write
// beyond it fails with EFBIG, as on a full or quota-bound file system.

#include <csignal>
#include <sys/resource.h>

struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &usual);
        onSignal = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cut{bytes, usual.rlim_max};
        setrlimit(RLIMIT_FSIZE, &cut);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &usual);
        std::signal(SIGXFSZ, onSignal);
    }
    rlimit usual{};
    void (*onSignal)(int);
};
