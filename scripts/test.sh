#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, then replays every input of the fuzz
# corpus (every past finding) through its target: the same inputs each run, so the verdict
# depends only on the commit. The search for new inputs is ./scripts/fuzz.sh SECONDS.
# Then the Debian package is made and checked (scripts/package.sh --check: installed, run and
# removed again, so only as root; for other users the package is only made).
# Last, the Windows build of the core, the command line and their tests runs its tests under
# Wine (scripts/test-windows.sh; its libraries are built once and kept in build-windows/deps).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
ctest --test-dir "${KESTROVA_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
./scripts/fuzz.sh replay
if [ "$(id -u)" -eq 0 ]; then
  ./scripts/package.sh --check
else
  ./scripts/package.sh
fi
windows_start=$SECONDS
./scripts/test-windows.sh
echo "== Windows stage: $((SECONDS - windows_start)) s"
