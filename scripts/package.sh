#!/usr/bin/env bash
# Installs what is missing, builds Quillmark in release mode and makes its
# Debian package, build-package/quillmark_<version>-1_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillmark_install_missing
quillmark_build build-package -DQUILLMARK_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
(cd build-package && cpack -G DEB | grep 'package: ')
