#!/usr/bin/env bash
# Soak run of the capture: ten Start/Stop cycles of three seconds, then one
# capture of MINUTES minutes (bench/Soak.cpp), all with the dump on, under a
# steady load of RATE UDP datagrams a second from 127.0.0.1:40001 to
# 127.0.0.1:40002 (bench/CaptureRate.cpp's sender). Soak prints the memory,
# descriptors and threads after each cycle and each minute.
# Everything happens inside a private network namespace with only its own
# loopback; nothing reaches or is read from any other interface. The load
# and the run are both bounded in time.
#
# usage: bench/soak.sh BUILD_DIR [MINUTES] [RATE]
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [MINUTES] [RATE]}")
minutes=${2:-10}
rate=${3:-500}
cycles=10
cycle_seconds=3

if [ "${QUILLMARK_PRIVATE_NET:-}" != 1 ]; then
    QUILLMARK_PRIVATE_NET=1 exec unshare --net "$0" "$build" "$minutes" "$rate"
fi
ip link set lo up

# The load runs a minute longer than the captures need, so every Stop meets
# its next packet; it is stopped when the run ends in any case.
seconds=$((cycles * (cycle_seconds + 2) + minutes * 60 + 60))
"$build/bench/CaptureRate" send "$rate" "$seconds" >/dev/null &
sender=$!
trap 'kill "$sender" 2>/dev/null || true' EXIT
timeout $((seconds + 60)) "$build/bench/Soak" "$cycles" "$cycle_seconds" "$minutes"
