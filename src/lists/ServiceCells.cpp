#include "ServiceCells.h"

#include "CgroupService.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

namespace {

constexpr size_t kMaxProcesses = 1 << 22;

// Each cgroup path of the rows, with the name of its container.
using Names = std::unordered_map<std::string, std::string>;

std::string CgroupPathOf(const ListRow& row, platform::ProcessApi& processes) {
    uint32_t pid = 0;
    std::from_chars(row.caption.data(), row.caption.data() + row.caption.size(), pid);
    if (pid != 0) {
        const auto process = processes.OpenProcess(pid);
        return process ? CgroupPath(process->ReadCgroup().value_or("")) : "";
    }
    // An ownerless socket's group, the root of the tree naming nothing.
    const auto path =
        row.socketCgroup == 0 ? std::nullopt : processes.CgroupPathOfId(row.socketCgroup);
    return path && *path != "/" ? *path : "";
}

// Only what the rows' containers need: command lines for Podman's, the
// kubelet's log names for Kubernetes'.
ContainerNameSources ReadNameSources(const Names& paths, platform::ProcessApi& processes) {
    const auto any = [&paths](std::string_view runtime) {
        return std::any_of(paths.begin(), paths.end(), [runtime](const auto& path) {
            return ContainerRuntime(path.first) == runtime;
        });
    };
    ContainerNameSources sources;
    if (any("k8s:"))
        sources.kubernetesLogNames = processes.KubernetesLogNames();
    if (any("podman:"))
        for (const uint32_t pid :
             processes.EnumProcesses(kMaxProcesses).value_or(std::vector<uint32_t>{}))
            if (const auto process = processes.OpenProcess(pid))
                if (auto commandLine = process->ReadCommandLine())
                    sources.commandLines.push_back(std::move(*commandLine));
    return sources;
}

} // namespace

void AddServiceCells(ListRows& rows, platform::ProcessApi& processes) {
    std::unordered_map<std::string, std::string> pathOfPid;
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (const ListRow& row : rows) {
        if (row.caption == "0") {
            paths.push_back(CgroupPathOf(row, processes));
            continue;
        }
        auto [known, added] = pathOfPid.try_emplace(row.caption);
        if (added)
            known->second = CgroupPathOf(row, processes);
        paths.push_back(known->second);
    }
    Names names;
    for (const std::string& path : paths)
        names.try_emplace(path);
    const ContainerNameSources sources = ReadNameSources(names, processes);
    for (auto& [path, name] : names)
        name = ContainerName(path, sources);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].subItems.push_back(ServiceCell(paths[i], names[paths[i]]));
}
