#include "ServiceCells.h"

#include "CgroupService.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

namespace {

constexpr size_t kMaxProcesses = 1 << 22;

std::string CgroupPathOf(const ListRow& row, platform::ProcessApi& processes) {
    uint32_t pid = 0;
    std::from_chars(row.caption.data(), row.caption.data() + row.caption.size(), pid);
    if (pid != 0) {
        const auto process = processes.OpenProcess(pid);
        return process ? CgroupPath(process->ReadCgroup().value_or("")) : "";
    }
    if (row.socketCgroup == 0)
        return {};
    // As a /proc/PID/cgroup v2 line would give it.
    return CgroupPath("0::" + processes.CgroupPathOfId(row.socketCgroup).value_or("/"));
}

ContainerNameSources ReadNameSources(platform::ProcessApi& processes) {
    ContainerNameSources sources{{}, processes.KubernetesLogNames()};
    for (const uint32_t pid :
         processes.EnumProcesses(kMaxProcesses).value_or(std::vector<uint32_t>{}))
        if (const auto process = processes.OpenProcess(pid))
            if (auto commandLine = process->ReadCommandLine())
                sources.commandLines.push_back(std::move(*commandLine));
    return sources;
}

} // namespace

void AddServiceCells(ListRows& rows, platform::ProcessApi& processes) {
    std::unordered_map<std::string, std::string> byPid;
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (const ListRow& row : rows) {
        if (row.caption == "0") {
            paths.push_back(CgroupPathOf(row, processes));
            continue;
        }
        auto [known, added] = byPid.try_emplace(row.caption);
        if (added)
            known->second = CgroupPathOf(row, processes);
        paths.push_back(known->second);
    }
    const bool named = std::any_of(paths.begin(), paths.end(),
                                   [](const std::string& path) { return NamedOutsidePath(path); });
    const ContainerNameSources sources =
        named ? ReadNameSources(processes) : ContainerNameSources{};
    std::unordered_map<std::string, std::string> names;
    for (size_t i = 0; i < rows.size(); ++i) {
        auto [name, added] = names.try_emplace(paths[i]);
        if (added && named)
            name->second = ContainerName(paths[i], sources);
        rows[i].subItems.push_back(ServiceCell(std::move(paths[i]), name->second));
    }
}
