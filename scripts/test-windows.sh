#!/usr/bin/env bash
# Cross-builds the core, the command line and their tests for 64-bit Windows into
# build-windows/core (or $KESTROVA_WINDOWS_BUILD_DIR) and runs every test program under wine64
# against the sample server on loopback. The window is left out (no Qt for Windows here).
# The dependencies come from build-windows/deps, built there on the first run
# (scripts/windows-deps.sh). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
build_dir="${KESTROVA_WINDOWS_BUILD_DIR:-build-windows/core}"
jobs="${KESTROVA_JOBS:-2}"

./scripts/setup-windows.sh
KESTROVA_JOBS="$jobs" ./scripts/windows-deps.sh
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON -DKESTROVA_WITH_GUI=OFF >/dev/null
cmake --build "$build_dir" -j "$jobs"
built=$SECONDS
# The tests' Wine prefix is made once, before tests start in parallel.
cmake/wine-run.sh "$PWD/$build_dir/wine" cmd.exe /c exit >/dev/null 2>&1 || true
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
echo "== Windows stage: built in $((built - start)) s, tested under Wine in $((SECONDS - built)) s"
