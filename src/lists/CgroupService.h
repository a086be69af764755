#pragma once

// Which service, app or container a process belongs to, from its
// /proc/PID/cgroup (cgroups(7)): a pure rule over the text, so it can be fed
// every layout the kernel and the container managers write.

#include <string>
#include <string_view>

// The path that names the process's group: the cgroup v2 line ("0::PATH")
// unless it is "/", else the name=systemd line, else the longest v1 path;
// "" when none is left but the root.
std::string CgroupPath(std::string_view cgroupFile);

// What the path names, "" for the root or a path with nothing to show:
// docker:<12 hex>, podman:<12 hex>, k8s:<12 hex>, lxc:NAME, snap:NAME,
// flatpak:ID, machine:NAME, a desktop app's id, or the unit itself
// (nginx.service). Slices only group units and never name one.
std::string ServiceOfCgroup(std::string_view path);
