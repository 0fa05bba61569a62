#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, then the fuzz targets for 10 s each
# from a fixed seed: the corpus with every past finding, and the same new inputs each run (a
# longer search, with a fresh seed each time, is ./scripts/fuzz.sh on its own).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
ctest --test-dir "${KESTROVA_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
KESTROVA_FUZZ_SEED=1 ./scripts/fuzz.sh 10
