#!/usr/bin/env bash
# Installs what is needed, builds and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
ctest --test-dir "${KESTROVA_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
