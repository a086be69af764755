#!/usr/bin/env bash
# A long loopback capture at a steady rate, as a user gets it: the program
# shown on an X server (Xvfb, xcb platform) with the accessibility bridge on
# (a session bus with the at-spi bus, QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1),
# run as a user who is not root and holds CAP_NET_RAW alone. UDP datagrams go
# from 127.0.0.1:40001 to 127.0.0.1:40002 at RATE a second for SECONDS; every
# INTERVAL seconds a row shows the resident memory, the disk the log and the
# packets take, datagrams sent against lines shown, the window's longest lag
# and the time to paint after a jump to the middle line; at the end, the time
# "Save captured packets as..." takes against cp of a file of the same size.
# LIMIT_MIB sets the disk limit (sniffer/diskLimitMiB); 0 keeps the default.
# Everything happens inside a private network namespace with only its own
# loopback. The user's home, and so the log's files, lie in a directory made
# inside BUILD_DIR: never in /tmp, which may be held in memory.
#
# usage: bench/long_capture.sh BUILD_DIR [SECONDS] [RATE] [LIMIT_MIB] [INTERVAL]
# Needs root (unshare --net, setpriv), Xvfb, dbus-run-session, at-spi2-core.
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [SECONDS] [RATE] [LIMIT_MIB] [INTERVAL]}")
seconds=${2:-120}
rate=${3:-300000}
limit=${4:-0}
interval=${5:-30}

if [ "${QUILLMARK_PRIVATE_NET:-}" != 1 ]; then
    QUILLMARK_PRIVATE_NET=1 exec unshare --net "$0" "$build" "$seconds" "$rate" "$limit" \
        "$interval"
fi
ip link set lo up

work=$(mktemp -d -p "$build" long-capture-XXXXXX)
chmod 755 "$work"
mkdir -m 700 "$work/home"
mkdir -p "$work/home/.config/Quillmark"
printf '[sniffer]\ndiskLimitMiB=%s\n' "$limit" >"$work/home/.config/Quillmark/Quillmark.conf"
chown -R 65534:65534 "$work/home"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb; rm -rf "$work"' EXIT
timeout 10 bash -c "until [ -s '$work/display' ]; do sleep 0.1; done"
export DISPLAY=:$(cat "$work/display")

echo "rate $rate/s for ${seconds}s, disk limit ${limit} MiB (0: the default), rows every ${interval}s"
# Qt's bridge waits for the at-spi bus to be registered; it does not start it.
setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all,+net_raw \
    --ambient-caps=+net_raw env HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    timeout $((seconds * 3 + 300)) dbus-run-session -- \
    bash -c '/usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1; exec "$@"' \
    - "$build/bench/LongCapture" "$rate" "$seconds" "$interval" "$work/home" 2>/dev/null
