#pragma once

// Rows of the Processes list, built from what the process status interface
// yields, without any widget.

#include "ListRow.h"
#include "platform/ProcessApi.h"

#include <cstdint>
#include <optional>
#include <string>

// The most process identifiers one rebuild considers.
inline constexpr size_t kMaxProcessIds = 1024;

// What one process yields: nothing without a first module; otherwise each
// query's answer, nullopt where that query failed.
struct ProcessLookup {
    bool hasFirstModule = false;
    std::optional<std::string> baseName;
    std::optional<std::string> fileName;
    std::optional<platform::MemoryCounters> memory;
    std::optional<uint64_t> startTime = std::nullopt;
};

ProcessLookup LookupProcess(platform::ProcessApi& api, uint32_t pid);

// The names of an opened process's executable; nullopt when it has none we
// may read. A failed name query leaves that name nullopt.
struct ModuleNames {
    std::optional<std::string> baseName;
    std::optional<std::string> fileName;
};
std::optional<ModuleNames> FirstModuleNames(platform::ProcessHandle& process);

// Null when the process has no first module.
std::optional<ListRow> ProcessRow(uint32_t pid, const ProcessLookup& lookup);

// One row per process whose executable can be read, in identifier order;
// no rows when the enumeration fails.
ListRows BuildProcessRows(platform::ProcessApi& api);
