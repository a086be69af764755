#!/usr/bin/env bash
# Installs what is missing, builds Quillmark with its tests and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillmark_install_missing
quillmark_build build-tests -DQUILLMARK_TESTS=ON
ctest --test-dir build-tests --output-on-failure --timeout 300 -j2
