#pragma once

// The groups a process is in, from its /proc/PID/cgroup (cgroups(7)): one
// "ID:CONTROLLERS:PATH" line a hierarchy.

#include <optional>
#include <string_view>

namespace platform {

struct CgroupFilePaths {
    std::optional<std::string_view> v2;      // the unified hierarchy's "0::PATH"
    std::optional<std::string_view> systemd; // the v1 "name=systemd" hierarchy
    std::optional<std::string_view> longest; // the longest path of any other v1 line
};
// The views point into the text.
CgroupFilePaths ParseCgroupFile(std::string_view text);

} // namespace platform
