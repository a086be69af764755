#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>

class QWidget;

// Ends the process of a list row after the user agrees: SIGTERM, and SIGKILL
// if it still runs a few seconds later and the user agrees again. pid, name
// and startTime are as the row holds them; when the process under that PID
// no longer has that name or start time, or its start time cannot be read,
// the row's process has ended. Whether the process is gone afterwards.
bool EndProcess(QWidget* parent, platform::Platform& os, uint32_t pid, const std::string& name,
                std::optional<uint64_t> startTime);
