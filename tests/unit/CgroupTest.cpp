// Cgroups: what /proc/PID/cgroup files of cgroup v2, v1 and hybrid hosts
// name (units, desktop apps and the containers of each runtime), where the
// cgroup2 file system is mounted, and ids to paths, the tree read again only
// for an id never met.

#include "lists/CgroupService.h"
#include "platform/CgroupIds.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(CgroupService, NamesTheUnitAppOrContainerOfRealWorldFiles) {
    const std::string id = "3f2a1b0c9d8e7f6a5b4c3d2e1f0a9b8c7d6e5f4a3b2c1d0e9f8a7b6c5d4e3f2a";
    const std::string user = "0::/user.slice/user-1000.slice/user@1000.service/";
    // Podman and Kubernetes name only this container outside its path; bash
    // merely has conmon's options.
    const std::string named(64, 'b'), a = "\0-c\0"s + named + "\0-n\0"s;
    const ContainerNameSources sources{{"bash" + a + "x", "/usr/bin/conmon" + a + "w\xff!\0"s},
                                       {"web-7d_default_nginx-" + named + ".log"}};
    // The file, and what it shows.
    const std::pair<std::string, std::string> cases[] = {
        {"0::/system.slice/nginx.service\n", "nginx.service"},
        {user + "app.slice/pipewire.service\n", "pipewire.service"},
        {user + "init.scope\n", "user@1000.service"},
        {"0::/init.scope\n", "init.scope"},
        {"0::/user.slice/user-1000.slice/session-3.scope\n", "session-3.scope"},
        {user + "app.slice/app-gnome-firefox-1234.scope\n", "firefox"},
        {user + "app.slice/app-flatpak-org.mozilla.firefox-12345.scope\n",
         "flatpak:org.mozilla.firefox"},
        {user + "app.slice/snap.firefox.firefox-1b2c3d.scope\n", "snap:firefox"},
        {"0::/system.slice/docker-" + id + ".scope\n", "docker:3f2a1b0c9d8e"},
        {"0::/machine.slice/libpod-" + id + ".scope/container\n", "podman:3f2a1b0c9d8e"},
        {"0::/machine.slice/libpod-" + named + ".scope/container\n", "podman:w\xff!"},
        {"0::/kubepods.slice/cri-containerd-" + named + ".scope\n", "k8s:web-7d/nginx"},
        {"0::/system.slice/docker-" + named + ".scope\n", "docker:bbbbbbbbbbbb"},
        {"0::/kubepods.slice/kubepods-burstable.slice/kubepods-burstable-pod12_34.slice/"
         "cri-containerd-" +
             id + ".scope\n",
         "k8s:3f2a1b0c9d8e"},
        {"0::/lxc.payload.web01/system.slice/nginx.service\n", "lxc:web01"},
        {"0::/machine.slice/machine-my\\x2dvm.scope/payload/system.slice/sshd.service\n",
         "machine:my-vm"},
        // v1 and hybrid: the name=systemd line, else the longest path.
        {"12:memory:/docker/" + id + "\n1:name=systemd:/docker/" + id + "\n0::/\n",
         "docker:3f2a1b0c9d8e"},
        {"4:memory:/kubepods/burstable/pod12-34/" + id + "\n3:cpu:/\n", "k8s:3f2a1b0c9d8e"},
        {"4:memory:/kubepods/pod12-34/" + named + "\n0::/\n", "k8s:web-7d/nginx"},
        {"9:name=systemd:/\n4:memory:/process_api/3b301f\n0::/\n", "3b301f"},
        {"1:name=systemd:/system.slice/cron.service\n0::/\n", "cron.service"},
        // Nothing to name: the root, an empty or unreadable file, a torn line.
        {"0::/\n", ""},
        {"", ""},
        {"0:/system.slice", ""},
        {"0::/system.slice/caf\xc3\xa9 \xff.service\n", "caf\xc3\xa9 \xff.service"}};
    for (const auto& [file, shown] : cases) {
        const std::string path = CgroupPath(file);
        EXPECT_EQ(ServiceOfCell(ServiceCell(path, ContainerName(path, sources))), shown) << file;
    }
}

TEST(CgroupIds, FindTheCgroup2MountAmongV1AndOtherMounts) {
    const std::pair<std::string, std::optional<platform::Cgroup2Mount>> cases[] = {
        {"25 1 0:22 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n", {{"/sys/fs/cgroup", "/"}}},
        {"30 25 0:26 / /sys/fs/cgroup/cpu rw shared:9 - cgroup cgroup rw,cpu\n"
         "41 31 0:38 /a\\040b /run/my\\134cg rw shared:1 master:2 - cgroup2 none rw\n",
         {{"/run/my\\cg", "/a b"}}},
        {"30 25 0:26 / /cgroup2 rw - cgroup cgroup2 rw\n", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [mountinfo, mount] : cases)
        EXPECT_EQ(platform::FindCgroup2Mount(mountinfo), mount) << mountinfo;
}

TEST(CgroupIds, ReadTheTreeAgainOnlyForAnIdNeverMet) {
    platform::CgroupTree tree{{1, "/"}, {7, "/a.service"}};
    int reads = 0;
    platform::CgroupPaths paths([&] { return ++reads, tree; });
    // The id asked for, the path found, and how many readings there were.
    const std::tuple<uint64_t, std::optional<std::string>, int> lookups[] = {
        {7, "/a.service", 1}, {1, "/", 1}, {9, std::nullopt, 2}, {9, std::nullopt, 2}};
    // A braced list reads the path before the count of readings.
    for (const auto& [id, path, count] : lookups)
        EXPECT_EQ((std::pair{paths.PathOf(id), reads}), std::pair(path, count)) << id;
    tree.emplace(8, "/b.scope");
    EXPECT_EQ((std::pair{paths.PathOf(8), reads}),
              std::pair(std::optional<std::string>("/b.scope"), 3));
}
