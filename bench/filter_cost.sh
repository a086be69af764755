#!/usr/bin/env bash
# The capture thread's CPU time with the kernel filter and without it, at one
# rate, with S. Port set to a port that carries 1 % of the packets. The two
# modes alternate, REPEATS times each, and the medians are printed. Inside a
# private network namespace with only its own loopback; nothing reaches or is
# read from any other interface.
#
# usage: bench/filter_cost.sh BUILD_DIR [SECONDS] [RATE] [REPEATS]
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [SECONDS] [RATE] [REPEATS]}")
seconds=${2:-3}
rate=${3:-200000}
repeats=${4:-5}

if [ "${QUILLMARK_PRIVATE_NET:-}" != 1 ]; then
    QUILLMARK_PRIVATE_NET=1 exec unshare --net "$0" "$build" "$seconds" "$rate" "$repeats"
fi
ip link set lo up

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

declare -A cpu
printf '%8s %8s %8s %10s\n' mode sent shown cpu_ms
for _ in $(seq "$repeats"); do
    for mode in kernel decoder; do
        read -r _ sent _ shown _ ms < <(timeout 120 "$build/bench/FilterCost" "$mode" "$rate" "$seconds" 2>/dev/null)
        printf '%8s %8s %8s %10s\n' "$mode" "$sent" "$shown" "$ms"
        cpu[$mode]+="$ms "
    done
done
kernel=$(tr ' ' '\n' <<<"${cpu[kernel]}" | grep . | median)
decoder=$(tr ' ' '\n' <<<"${cpu[decoder]}" | grep . | median)
echo "median capture-thread CPU ms at $rate/s for $seconds s: kernel filter $kernel, decoder only $decoder"
awk -v k="$kernel" -v d="$decoder" 'BEGIN {if (k > 0) printf "decoder only / kernel filter: %.1f\n", d / k}'
