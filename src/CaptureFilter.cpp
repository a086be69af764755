#include "CaptureFilter.h"

#include <linux/if_ether.h>

// IPv4 only: ARP, IPv6 and every other protocol are dropped in the kernel.
// The protocol is the one the link layer gave the packet, which the
// socket's datagram mode strips from the data itself.
std::vector<sock_filter> CaptureFilterProgram(const CaptureSettings&) {
    return {
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PROTOCOL)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IP, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, UINT32_MAX), // the whole packet
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
}
