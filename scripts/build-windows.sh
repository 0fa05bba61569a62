#!/usr/bin/env bash
# Builds Kestrova for 64-bit Windows on Debian 12 and packs its installer:
# build-windows/app/src/app/kestrova.exe, build-windows/app/src/cli/kestrova-cli.exe and
# dist/Kestrova-<version>-setup.exe (the version is the CMake project's).
#   scripts/build-windows.sh            install, build what is missing, pack
#   scripts/build-windows.sh --check    the same, then run the window's tests under Wine and
#                                       try the installer there (installer/check.sh)
# The libraries (scripts/windows-deps.sh) and Qt (scripts/windows-qt.sh) are built once into
# build-windows/deps and reused. KESTROVA_JOBS (default 2) and KESTROVA_NICE (default 5) set
# the parallel jobs and the niceness of every compile.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$(date +%s)
export KESTROVA_JOBS=${KESTROVA_JOBS:-2} KESTROVA_NICE=${KESTROVA_NICE:-5}
build_dir=build-windows/app

# The cross compilers, Wine and what the core's libraries need; then what the window and the
# installer need besides: the host Qt (its moc and uic build the Windows Qt's code), Debian's
# source tools, NSIS, and Xvfb for a window under Wine.
./scripts/setup-windows.sh
packages=(qt6-base-dev dpkg-dev nsis xvfb xauth)
./scripts/install-packages.sh "${packages[@]}"

nice -n "$KESTROVA_NICE" ./scripts/windows-deps.sh
./scripts/windows-qt.sh
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_prefix="$root/build-windows/deps/qtbase-${qt_version%%[+-]*}"

# Qt's toolchain file finds the Windows Qt and loads the project's own for the rest.
cmake -S . -B "$build_dir" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DKESTROVA_WITH_GUI=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON >/dev/null
nice -n "$KESTROVA_NICE" cmake --build "$build_dir" -j "$KESTROVA_JOBS" \
  --target kestrova kestrova-cli

# The installer packs stripped copies: the symbols stay with the build.
stage="$build_dir/installer/bin"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/kestrova.exe" "$build_dir/src/app/kestrova.exe"
x86_64-w64-mingw32-strip -o "$stage/kestrova-cli.exe" "$build_dir/src/cli/kestrova-cli.exe"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
setup="dist/Kestrova-$version-setup.exe"
mkdir -p dist
makensis -V2 -DVERSION="$version" -DBIN_DIR="$root/$stage" -DOUT_FILE="$root/$setup" \
  installer/kestrova.nsi

size() { du -h "$1" | cut -f1; }
elapsed=$(($(date +%s) - start))
echo "== Kestrova $version for Windows in $((elapsed / 60)) min $((elapsed % 60)) s:"
echo "   $stage/kestrova.exe $(size "$stage/kestrova.exe"), $stage/kestrova-cli.exe" \
  "$(size "$stage/kestrova-cli.exe"), $setup $(size "$setup")"

if [ "${1:-}" = --check ]; then
  # The window's test programs (label "window") under Wine on an X display, on the windows
  # platform with the program's own style; then the installer.
  nice -n "$KESTROVA_NICE" cmake --build "$build_dir" -j "$KESTROVA_JOBS"
  # The prefix is made first, and its Wine server left to end: one started without a display
  # would keep the tests from opening windows on Xvfb's.
  cmake/wine-run.sh "$root/$build_dir/wine" cmd.exe /c exit >/dev/null 2>&1 || true
  WINEPREFIX="$root/$build_dir/wine" /usr/lib/wine/wineserver -w
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build_dir" -L window --output-on-failure -j "$KESTROVA_JOBS"
  ./installer/check.sh "$setup"
fi
