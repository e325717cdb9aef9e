#!/usr/bin/env bash
# Installs the dependencies, builds Memwick with its tests and runs every test, then builds the
# Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-tests -DMW_BUILD_BENCH=OFF
cd build-tests
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"${MW_JOBS:-2}"
cd ..
scripts/package.sh
