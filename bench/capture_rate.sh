#!/usr/bin/env bash
# Loopback capture rate of Quillmark against tcpdump, measured in one run.
# For each rate, UDP datagrams go from 127.0.0.1:40001 to 127.0.0.1:40002 for
# a few seconds, first while Quillmark captures (offscreen, log shown), then
# while `tcpdump -i lo -n -l udp` writes one line per packet to a file.
# Everything happens inside a private network namespace with only its own
# loopback; nothing reaches or is read from any other interface.
#
# usage: bench/capture_rate.sh BUILD_DIR [SECONDS] [RATE...]
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [SECONDS] [RATE...]}")
seconds=${2:-3}
shift $(($# < 2 ? $# : 2))
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(10000 20000 50000 100000 200000)

if [ "${QUILLMARK_PRIVATE_NET:-}" != 1 ]; then
    QUILLMARK_PRIVATE_NET=1 exec unshare --net "$0" "$build" "$seconds" "${rates[@]}"
fi
ip link set lo up

tool="$build/bench/CaptureRate"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tcpdump_run() {
    local rate=$1
    timeout 60 tcpdump -i lo -n -l udp >"$work/lines" 2>"$work/err" &
    local pid=$!
    for _ in $(seq 100); do grep -q 'listening on' "$work/err" && break; sleep 0.05; done
    local sent
    sent=$("$tool" send "$rate" "$seconds" | awk '{print $2}')
    sleep 1
    kill -INT "$pid"
    wait "$pid" || true
    local drops
    drops=$(awk '/dropped by kernel/ {print $1}' "$work/err")
    echo "$sent $(grep -c ' > 127.0.0.1.40002: UDP' "$work/lines") ${drops:-?}"
}

printf '%8s | %8s %8s %8s | %8s %8s %8s\n' rate sent shown drops sent lines drops
printf '%8s | %26s | %26s\n' "" "Quillmark" "tcpdump"
for rate in "${rates[@]}"; do
    read -r _ q_sent _ q_shown _ q_drops < <(timeout 120 "$tool" quillmark "$rate" "$seconds")
    read -r t_sent t_lines t_drops < <(tcpdump_run "$rate")
    printf '%8s | %8s %8s %8s | %8s %8s %8s\n' "$rate" "$q_sent" "$q_shown" "$q_drops" \
        "$t_sent" "$t_lines" "$t_drops"
done
