#pragma once

// Runs work on a thread of its own on which some system calls fail, as a
// file system or file server might make them fail: call nr fails with error
// when its argument arg has a bit of mask set, or with whenClear when it
// has none (mask 0 and whenClear: always).

#include <cstddef>
#include <functional>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct FailingCall {
    unsigned nr, arg, mask;
    bool whenClear;
    unsigned error;
};

inline void RunWithFailingCalls(const std::vector<FailingCall>& calls,
                                const std::function<void()>& work) {
    std::vector<sock_filter> filter;
    for (const FailingCall& c : calls)
        filter.insert(filter.end(),
                      {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                       BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, c.nr, 0, 3),
                       BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                                static_cast<unsigned>(offsetof(seccomp_data, args[c.arg]))),
                       BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, c.mask, c.whenClear, !c.whenClear),
                       BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | c.error)});
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    std::thread([&] {
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
            syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0)
            work();
    }).join();
}
