#!/usr/bin/env bash
# Installs the dependencies, builds Memwick and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF
exec build/src/shell/memwick "$@"
