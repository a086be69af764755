#!/usr/bin/env bash
# Installs the Debian packages Quillmark needs to build, run and test, when
# any is missing. Sourced by run.sh and test.sh; quick when all are present.

quillmark_packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-private-dev libgl-dev fonts-dejavu-core fonts-liberation2
    libgtest-dev libbenchmark-dev
    iproute2 util-linux procps tcpdump libcap2-bin
    dpkg-dev file desktop-file-utils lintian appstream man-db
    clang-14 libclang-rt-14-dev libfuzzer-14-dev
)

quillmark_install_missing() {
    local missing=() pkg
    for pkg in "${quillmark_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || {
            echo "Run as root, or install: apt-get install ${missing[*]}" >&2
            return 1
        }
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

# Configures (once) and builds the tree in build/ with the given CMake options.
quillmark_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || return 1
    fi
    ninja -C "$dir"
}
