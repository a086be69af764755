#pragma once

// The kernel-side filter of a capture: the classic BPF program the packet
// socket runs on every frame of its interface before queueing it, so frames
// the capture has no use for never reach the program.

#include "SnifferSettings.h"

#include <linux/filter.h>
#include <vector>

// On a datagram packet socket the program sees each packet from its network
// header on; it returns 0 to drop a packet and a length to keep it.
std::vector<sock_filter> CaptureFilterProgram(const CaptureSettings&);
