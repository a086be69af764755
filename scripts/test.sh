#!/usr/bin/env bash
# Installs what is missing, builds Quillmark with its tests and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillmark_install_missing
quillmark_build build-tests -DQUILLMARK_TESTS=ON
ctest --test-dir build-tests --output-on-failure --timeout 300 -j2
# The suite again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# capture thread's tests under ThreadSanitizer, then a bounded run of every
# fuzz target: each catches faults the plain tests pass over.
bash scripts/sanitizers.sh
bash fuzz/run.sh
