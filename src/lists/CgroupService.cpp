#include "CgroupService.h"

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

std::optional<std::string> ContainerOf(const Parts& parts) {
    const bool kubernetes = std::any_of(parts.begin(), parts.end(), [](std::string_view part) {
        return part.starts_with("kubepods");
    });
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        if (const auto id = ContainerId(part)) {
            if (kubernetes)
                return "k8s:" + Short(*id);
            const bool docker = part.starts_with("docker-") || (i > 0 && parts[i - 1] == "docker");
            if (docker || part.starts_with("libpod-"))
                return (docker ? "docker:" : "podman:") + Short(*id);
        }
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
    std::optional<std::string_view> v2, systemd, longest;
    for (const std::string_view line : Split(cgroupFile, '\n')) {
        const size_t first = line.find(':');
        const size_t second = line.find(':', first == std::string_view::npos ? 0 : first + 1);
        if (first == std::string_view::npos || second == std::string_view::npos)
            continue;
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view path = line.substr(second + 1);
        if (line.substr(0, first) == "0" && controllers.empty())
            v2 = path;
        else if (controllers == "name=systemd")
            systemd = path;
        else if (!longest || path.size() > longest->size())
            longest = path;
    }
    for (const auto& path : {v2, systemd, longest})
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
