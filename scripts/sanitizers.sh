#!/usr/bin/env bash
# Builds the tests twice more and runs them instrumented:
#   build-asan  AddressSanitizer with UndefinedBehaviorSanitizer, every test
#               but the package checks (they inspect the .deb, not our code);
#   build-tsan  ThreadSanitizer, the tests that run the capture thread, its
#               window messages and the store it fills while the window
#               saves; Qt, built without it, has its own frames suppressed.
# Any sanitizer report fails the test that made it, and so the run.
set -euo pipefail
cd "$(dirname "$0")/.."

# The tests of the capture thread, of messages across threads and of the
# stores on disk shared between them.
thread_tests='^(SnifferPanel|SnifferPostLine|CaptureLoopback|StoresOnDisk)'

# Also in force while building: test discovery runs the test programs.
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1
export TSAN_OPTIONS=second_deadlock_stack=1:suppressions=$PWD/tests/sanitizers/tsan.supp

# Configures (once) and builds the given targets (all without any): two jobs
# at most, the machine's cores being shared.
build() {
    local dir=$1 sanitizer=$2
    shift 2
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DQUILLMARK_SANITIZE="$sanitizer" >/dev/null
    fi
    ninja -C "$dir" -j2 "$@"
}

build build-asan address
ctest --test-dir build-asan --output-on-failure --timeout 300 -j2 -E '^package_'

build build-tsan thread unit_tests gui_tests system_tests
ctest --test-dir build-tsan --output-on-failure --timeout 300 -j2 --no-tests=error -R "$thread_tests"
