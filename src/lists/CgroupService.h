#pragma once

// Which service, app or container a process belongs to, from its
// /proc/PID/cgroup (cgroups(7)): a pure rule over the text, so it can be fed
// every layout the kernel and the container managers write.

#include <string>
#include <string_view>
#include <vector>

// The path that names the process's group: the cgroup v2 line ("0::PATH")
// unless it is "/", else the name=systemd line, else the longest v1 path;
// "" when none is left but the root.
std::string CgroupPath(std::string_view cgroupFile);

// What the path names, "" for the root or a path with nothing to show:
// docker:<12 hex>, podman:<12 hex>, k8s:<12 hex>, lxc:NAME, snap:NAME,
// flatpak:ID, machine:NAME, a desktop app's id, or the unit itself
// (nginx.service). Slices only group units and never name one.
std::string ServiceOfCgroup(std::string_view path);

// Where the names of containers are found that their cgroup paths do not
// hold: the command lines of the processes (NUL-ended arguments), among which
// Podman's conmon names each container it runs (-c ID ... -n NAME), and the
// kubelet's log file names (<pod>_<namespace>_<container>-<id>.log).
struct ContainerNameSources {
    std::vector<std::string> commandLines;
    std::vector<std::string> kubernetesLogNames;
};

// The runtime of the container the path names, "docker:", "podman:" or
// "k8s:"; "" for any other path. The sources may name the last two.
std::string_view ContainerRuntime(std::string_view path);

// The name of the container the path names: NAME for Podman, POD/CONTAINER
// for Kubernetes; "" where the sources do not hold it.
std::string ContainerName(std::string_view path, const ContainerNameSources& sources);

// A Service cell holds the cgroup path, then a newline and the container's
// name where one was found outside it; a path never holds a newline, since
// /proc/PID/cgroup is read by its lines.
std::string ServiceCell(std::string path, std::string_view containerName);
std::string_view CgroupOfCell(std::string_view cell);
// What the cell shows: ServiceOfCgroup, with the container's name in place
// of its short id where there is one.
std::string ServiceOfCell(std::string_view cell);
