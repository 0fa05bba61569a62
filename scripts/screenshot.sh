#!/usr/bin/env bash
# Draws the main window after a this-week export against the sample server (offscreen, with
# the Japanese fonts that setup.sh installs) and saves it as docs/main-window.png.
#   scripts/screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
build_dir="${KESTROVA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON >/dev/null
cmake --build "$build_dir" --target window_screenshot
out="${1:-docs/main-window.png}"
mkdir -p "$(dirname "$out")"
QT_QPA_PLATFORM=offscreen "$build_dir/tests/ui/window_screenshot" "$out"
echo "== $out"
