#pragma once

#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class QWidget;

// How long a process may take to end on SIGTERM before the user is asked
// about SIGKILL.
inline constexpr std::chrono::milliseconds kEndProcessGrace{3000};

// Ends the process of a list row after the user agrees: SIGTERM, and SIGKILL
// if it still runs when grace has passed and the user agrees again. pid, name
// and startTime are as the row holds them; when the process under that PID
// no longer has that name or start time, or its start time cannot be read,
// the row's process has ended. Whether the process is gone afterwards.
bool EndProcess(QWidget* parent, platform::Platform& os, uint32_t pid, const std::string& name,
                std::optional<uint64_t> startTime,
                std::chrono::milliseconds grace = kEndProcessGrace);
