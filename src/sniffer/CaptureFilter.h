#pragma once

// The kernel socket filter of a capture: it keeps IPv4 only, and then drops
// every packet that DecodePacket would drop without writing a line, so that
// unwanted packets never leave the kernel. The decoder still applies the
// filters itself; this program only saves it the work.

#include "SnifferSettings.h"

#include <linux/filter.h>
#include <vector>

// The whole program for the capture's packet socket.
std::vector<sock_filter> CaptureFilterProgram(const CaptureSettings& settings);

// The IPv4 test alone: every IPv4 packet, whole.
std::vector<sock_filter> Ipv4FilterProgram();

// The program without its IPv4 test: it reads the packet from its first byte
// and accepts it (whole) exactly when DecodePacket would write a line for it.
std::vector<sock_filter> SettingsFilterProgram(const CaptureSettings& settings);
