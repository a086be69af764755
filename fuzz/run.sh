#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on the program's library) and runs each for a
# bounded time, starting from its checked-in corpus. Any crash, sanitizer
# report or broken invariant fails the run and leaves the input in
# build-fuzz/artifacts/.
#   QUILLMARK_FUZZ_SECONDS  seconds per target (default 30)
#   arguments               target names (default: every fuzz/*.cpp)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${QUILLMARK_FUZZ_SECONDS:-30}
build=build-fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

if [ ! -f "$build/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DQUILLMARK_SANITIZE=fuzzer \
        -DQUILLMARK_TESTS=OFF -DQUILLMARK_FUZZ=ON >/dev/null
fi
# The machine's two cores are shared, so never more than two compile jobs.
ninja -C "$build" -j2 "${targets[@]}"

# The targets write temporary files at every input; on tmpfs that costs no
# disk discards, which would slow a run fifty-fold.
scratch=$(mktemp -d /dev/shm/quillmark-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"

failed=0
for target in "${targets[@]}"; do
    # New inputs go to the build tree; the checked-in corpus is only read, so
    # its files (crash inputs kept as regressions among them) run every time.
    mkdir -p "$build/corpus/$target"
    log=$build/artifacts/$target.log
    # 65,540 bytes: the decoder's settings plus the longest packet, 65,525.
    if TMPDIR=$scratch "$build/fuzz/$target" -max_total_time="$seconds" -max_len=65540 \
        -timeout=10 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz $target: $runs executions in ${seconds} s, nothing found"
    else
        echo "fuzz $target: FAILED, see $log"
        grep -E 'ERROR|SUMMARY|runtime error|deadly|Test unit written' "$log" || tail -20 "$log"
        failed=1
    fi
done
exit $failed
