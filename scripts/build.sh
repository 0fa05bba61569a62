#!/usr/bin/env bash
# Configures and builds into build/ (or $KESTROVA_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${KESTROVA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON >/dev/null
cmake --build "$build_dir"
