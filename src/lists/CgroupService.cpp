#include "CgroupService.h"

#include "platform/CgroupFile.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

namespace {

using Parts = std::vector<std::string_view>;

Parts Split(std::string_view text, char separator) {
    Parts parts;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find(separator, start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsHex(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    });
}

// The text between prefix and suffix, if the component has both.
std::optional<std::string_view> Between(std::string_view component, std::string_view prefix,
                                        std::string_view suffix) {
    if (component.size() < prefix.size() + suffix.size() || !component.starts_with(prefix) ||
        !component.ends_with(suffix))
        return std::nullopt;
    return component.substr(prefix.size(), component.size() - prefix.size() - suffix.size());
}

// systemd writes a '-' inside a name as \x2d.
std::string Unescape(std::string_view name) {
    std::string text;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name.substr(i, 2) == "\\x" && i + 4 <= name.size() && IsHex(name.substr(i + 2, 2))) {
            text += static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            text += name[i];
        }
    }
    return text;
}

// A container's id as its runtime's scope (systemd driver) or directory
// (cgroupfs driver) names it.
std::optional<std::string_view> ContainerId(std::string_view component) {
    for (const std::string_view prefix : {"docker-", "libpod-", "cri-containerd-", "crio-"})
        if (const auto id = Between(component, prefix, ".scope"); id && IsHex(*id))
            return id;
    if (component.size() == 64 && IsHex(component))
        return component;
    return std::nullopt;
}

std::string Short(std::string_view id) {
    return std::string(id.substr(0, 12));
}

// A container's runtime ("docker:", "podman:", "k8s:") and full id.
struct RuntimeId {
    std::string_view runtime;
    std::string_view id;
};

std::optional<RuntimeId> RuntimeContainerOf(const Parts& parts, size_t i) {
    const auto id = ContainerId(parts[i]);
    if (!id)
        return std::nullopt;
    if (std::any_of(parts.begin(), parts.end(),
                    [](std::string_view part) { return part.starts_with("kubepods"); }))
        return RuntimeId{"k8s:", *id};
    if (parts[i].starts_with("docker-") || (i > 0 && parts[i - 1] == "docker"))
        return RuntimeId{"docker:", *id};
    if (parts[i].starts_with("libpod-"))
        return RuntimeId{"podman:", *id};
    return std::nullopt;
}

std::optional<RuntimeId> FirstRuntimeContainer(const Parts& parts) {
    for (size_t i = 0; i < parts.size(); ++i)
        if (const auto container = RuntimeContainerOf(parts, i))
            return container;
    return std::nullopt;
}

std::optional<std::string> ContainerOf(const Parts& parts) {
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        if (const auto container = RuntimeContainerOf(parts, i))
            return std::string(container->runtime) + Short(container->id);
        if (const auto name = Between(part, "lxc.payload.", ""); name && !name->empty())
            return "lxc:" + Unescape(*name);
        if (part == "lxc" && i + 1 < parts.size())
            return "lxc:" + std::string(parts[i + 1]);
        if (const auto name = Between(part, "machine-", ".scope"))
            return "machine:" + Unescape(*name);
    }
    return std::nullopt;
}

// app-<launcher>-<AppID>-<n>.scope; flatpak is one launcher.
std::optional<std::string> AppOf(std::string_view unit) {
    const auto inner = Between(unit, "app-", ".scope");
    if (!inner)
        return std::nullopt;
    const size_t launcherEnd = inner->find('-');
    const size_t numberStart = inner->rfind('-');
    if (launcherEnd == std::string_view::npos || numberStart <= launcherEnd ||
        !std::all_of(inner->begin() + static_cast<long>(numberStart) + 1, inner->end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    const std::string id = Unescape(inner->substr(launcherEnd + 1, numberStart - launcherEnd - 1));
    return inner->substr(0, launcherEnd) == "flatpak" ? "flatpak:" + id : id;
}

std::string UnitOf(const Parts& parts) {
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        if (part->empty() || part->ends_with(".slice"))
            continue;
        if (const auto snap = Between(*part, "snap.", "")) {
            const std::string_view name = snap->substr(0, snap->find('.'));
            if (!name.empty())
                return "snap:" + std::string(name);
        }
        if (const auto app = AppOf(*part))
            return *app;
        // The service manager's own group stands for the unit above it.
        if (*part == "init.scope" && part + 1 != parts.rend() && !(part + 1)->empty())
            continue;
        return std::string(*part);
    }
    return {};
}

} // namespace

std::string CgroupPath(std::string_view cgroupFile) {
    const auto paths = platform::ParseCgroupFile(cgroupFile);
    for (const auto& path : {paths.v2, paths.systemd, paths.longest})
        if (path && *path != "/" && !path->empty())
            return std::string(*path);
    return {};
}

std::string ServiceOfCgroup(std::string_view path) {
    const Parts parts = Split(path, '/');
    if (const auto container = ContainerOf(parts))
        return *container;
    return UnitOf(parts);
}

namespace {

// The value of a conmon option, given as "-c ID", "--cid ID" or "--cid=ID".
std::optional<std::string_view> OptionValue(const Parts& arguments, std::string_view shortName,
                                            std::string_view longName) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if ((argument == shortName || argument == longName) && i + 1 < arguments.size())
            return arguments[i + 1];
        if (argument.starts_with(longName) && argument.substr(longName.size()).starts_with('='))
            return argument.substr(longName.size() + 1);
    }
    return std::nullopt;
}

std::optional<std::string> ConmonName(std::string_view commandLine, std::string_view id) {
    const Parts arguments = Split(commandLine, '\0');
    const std::string_view program = arguments[0];
    if (program != "conmon" && !program.ends_with("/conmon"))
        return std::nullopt;
    if (OptionValue(arguments, "-c", "--cid") != id)
        return std::nullopt;
    const auto name = OptionValue(arguments, "-n", "--name");
    return name && !name->empty() ? std::optional<std::string>(*name) : std::nullopt;
}

// pod/container from <pod>_<namespace>_<container>-<id>.log; Kubernetes
// names hold no '_'.
std::optional<std::string> KubeletLogName(std::string_view fileName, std::string_view id) {
    const auto stem = Between(fileName, "", ".log");
    if (!stem || !stem->ends_with(id) || stem->size() <= id.size() ||
        (*stem)[stem->size() - id.size() - 1] != '-')
        return std::nullopt;
    const Parts names = Split(stem->substr(0, stem->size() - id.size() - 1), '_');
    if (names.size() != 3 || names[0].empty() || names[2].empty())
        return std::nullopt;
    return std::string(names[0]) + "/" + std::string(names[2]);
}

} // namespace

std::string_view ContainerRuntime(std::string_view path) {
    const auto container = FirstRuntimeContainer(Split(path, '/'));
    return container ? container->runtime : "";
}

std::string ContainerName(std::string_view path, const ContainerNameSources& sources) {
    const auto container = FirstRuntimeContainer(Split(path, '/'));
    if (!container || container->id.size() != 64)
        return {};
    if (container->runtime == "podman:")
        for (const std::string& commandLine : sources.commandLines)
            if (const auto name = ConmonName(commandLine, container->id))
                return *name;
    if (container->runtime == "k8s:")
        for (const std::string& fileName : sources.kubernetesLogNames)
            if (const auto name = KubeletLogName(fileName, container->id))
                return *name;
    return {};
}

std::string ServiceCell(std::string path, std::string_view containerName) {
    if (!containerName.empty())
        path.append("\n").append(containerName);
    return path;
}

std::string_view CgroupOfCell(std::string_view cell) {
    return cell.substr(0, cell.find('\n'));
}

std::string ServiceOfCell(std::string_view cell) {
    const std::string_view path = CgroupOfCell(cell);
    if (path.size() < cell.size())
        if (const auto container = FirstRuntimeContainer(Split(path, '/')))
            return std::string(container->runtime).append(cell.substr(path.size() + 1));
    return ServiceOfCgroup(path);
}
