#pragma once

// The capture helper: the small program beside ours that holds CAP_NET_RAW,
// opens one packet socket and hands it over.

#include <chrono>
#include <string>

namespace platform {

inline constexpr char kCaptureHelperName[] = "quillmark-capture-helper";

// A helper takes a few milliseconds; one still running after this is killed.
inline constexpr std::chrono::milliseconds kCaptureHelperLimit{5000};

// Starts the helper at path with no argument and an empty environment, and
// returns the packet socket it handed over (close-on-exec), or -1 when it is
// missing, may not be run, handed nothing, failed or ran past limit.
int PacketSocketFromHelper(const std::string& path, std::chrono::milliseconds limit);

} // namespace platform
