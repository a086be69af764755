#!/usr/bin/env bash
# Installs what is missing, builds Quillmark with its tests and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillmark_install_missing
quillmark_build build-tests -DQUILLMARK_TESTS=ON
bash scripts/ctest.sh build-tests
# The suite again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# capture thread's tests under ThreadSanitizer, then a bounded run of every
# fuzz target: each catches faults the plain tests pass over.
bash scripts/sanitizers.sh
bash fuzz/run.sh
# What did not run is said last, where it is seen.
echo "Skipped tests:"
cat build-tests/skipped.txt
