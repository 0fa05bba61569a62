#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, then the fuzz targets for 10 s each.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
ctest --test-dir "${KESTROVA_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
./scripts/fuzz.sh 10
