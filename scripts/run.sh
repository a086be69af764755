#!/usr/bin/env bash
# Installs what is missing, builds Quillmark and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillmark_install_missing
quillmark_build build -DQUILLMARK_TESTS=OFF >/dev/null
exec build/src/quillmark
