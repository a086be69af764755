#include "ProcessRows.h"

std::optional<ModuleNames> FirstModuleNames(platform::ProcessHandle& process) {
    const auto module = process.FirstModule();
    if (!module)
        return std::nullopt;
    return ModuleNames{process.GetModuleBaseName(*module), process.GetModuleFileName(*module)};
}

ProcessLookup LookupProcess(platform::ProcessApi& api, uint32_t pid) {
    ProcessLookup lookup;
    const auto process = api.OpenProcess(pid);
    if (!process)
        return lookup;
    auto names = FirstModuleNames(*process);
    if (!names)
        return lookup;
    lookup.hasFirstModule = true;
    lookup.baseName = std::move(names->baseName);
    lookup.fileName = std::move(names->fileName);
    lookup.memory = process->GetProcessMemoryInfo();
    lookup.startTime = process->StartTime();
    return lookup;
}

std::optional<ListRow> ProcessRow(uint32_t pid, const ProcessLookup& lookup) {
    if (!lookup.hasFirstModule)
        return std::nullopt;
    // A failed memory query still gets its row; it shows 0 so the column stays numeric.
    const platform::MemoryCounters memory = lookup.memory.value_or(platform::MemoryCounters{});
    return ListRow{
        std::to_string(pid),
        {lookup.baseName.value_or(kUnknownName), std::to_string(memory.WorkingSetSize >> 10),
         std::to_string(memory.PeakWorkingSetSize >> 10), lookup.fileName.value_or(kUnknownName)},
        lookup.startTime};
}

ListRows BuildProcessRows(platform::ProcessApi& api) {
    ListRows rows;
    const auto pids = api.EnumProcesses(kMaxProcessIds);
    if (!pids)
        return rows;
    for (size_t i = 0; i < pids->size() && i < kMaxProcessIds; ++i) {
        const uint32_t pid = (*pids)[i];
        if (auto row = ProcessRow(pid, LookupProcess(api, pid)))
            rows.push_back(std::move(*row));
    }
    return rows;
}
