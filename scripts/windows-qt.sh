#!/usr/bin/env bash
# Builds Qt's qtbase for Windows once, from Debian's own qt6-base source of the same version as
# the installed qt6-base-dev (the host Qt its build tools come from): static Core, Gui, Widgets
# and Test with the windows and offscreen platform plugins, with Debian's mingw-w64 posix
# compilers, into build-windows/deps/qtbase-<version>. A later run finds the stamp and stops.
#   scripts/windows-qt.sh            build (or reuse) and print the prefix
#   scripts/windows-qt.sh --fetch    only fetch and unpack the source
# Needs the packages of scripts/build-windows.sh (mingw-w64, dpkg-dev, qt6-base-dev, cmake,
# ninja). KESTROVA_JOBS sets the parallel jobs (default 2), KESTROVA_NICE the niceness (5).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deps="$root/build-windows/deps"

debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)  # e.g. 6.4.2+dfsg-10
version=${debian_version%%[+-]*}
prefix="$deps/qtbase-$version"
src_dir="$deps/src/qtbase-$version"
work_dir="$deps/build/qtbase-$version"
jobs=${KESTROVA_JOBS:-2}
niceness=${KESTROVA_NICE:-5}

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
if [ -f "$toolchain" ]; then
  compilers=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
else
  # The project's toolchain file is not there yet: the same compilers, named here.
  compilers=(
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64
    -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix
    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres
    -DCMAKE_FIND_ROOT_PATH=/usr/x86_64-w64-mingw32
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
    -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY
  )
fi

options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  # Debian's source leaves out the iaccessible2 and wintab code these need.
  -DFEATURE_accessibility=OFF
  -DFEATURE_tabletevent=OFF
  # Bundled third-party code: nothing of the Linux system is linked into a Windows program.
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_zstd=OFF
  # Only Core, Gui, Widgets and Test. OpenGL and Direct2D stay on: without them the windows
  # platform plugin of this version does not build, or does not link (it reaches the
  # DirectWrite font database only built with Direct2D).
  -DFEATURE_sql=OFF
  -DFEATURE_network=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_vulkan=OFF
  -DFEATURE_gif=OFF
  -DFEATURE_ico=OFF
  -DFEATURE_jpeg=OFF
)

# The stamp holds what was built (source, compiler, options): a change builds anew. The way the
# compilers are named (toolchain file or options) is left out: it builds the same.
stamp="$prefix/kestrova-build.stamp"
stamp_text="qt6-base $debian_version; $(x86_64-w64-mingw32-g++-posix --version | head -1); ${options[*]}"

tmp=""
trap 'rm -rf "$tmp"' EXIT
fetch_source() {
  [ -f "$src_dir/CMakeLists.txt" ] && return
  tmp=$(mktemp -d)
  # A private source list and lists folder: the system's apt configuration stays as it is.
  # Its deb-src lines mirror the system's bookworm entries.
  {
    grep -hE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
      2>/dev/null | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' || true
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'function flush() {
             if (types ~ /(^| )deb( |$)/ && enabled != "no")
               for (i = 1; i <= split(suites, s, " "); i++)
                 for (j = 1; j <= split(uris, u, " "); j++)
                   printf "deb-src%s %s %s %s\n", (key ? " [signed-by=" key "]" : ""), u[j], s[i], comps
             types = uris = suites = comps = key = enabled = ""
           }
           /^[[:space:]]*$/ { flush(); next }
           /^#/ { next }
           { v = $0; sub(/^[^:]*:[[:space:]]*/, "", v) }
           /^Types:/ { types = v } /^URIs:/ { uris = v } /^Suites:/ { suites = v }
           /^Components:/ { comps = v } /^Signed-By:/ { key = v } /^Enabled:/ { enabled = v }
           END { flush() }' "$f"
    done
  } | grep -E '[[:space:]]bookworm(-[a-z]+)?[[:space:]]' >"$tmp/src.list"
  mkdir -p "$tmp/lists/partial"
  local apt_options=(-o Dir::Etc::SourceList="$tmp/src.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$tmp/lists" -o APT::Sandbox::User=root)
  echo "== Fetching Debian's source of qt6-base $debian_version"
  apt-get "${apt_options[@]}" -qq update
  mkdir -p "$deps/src"
  local fetch="$deps/src/fetch"
  rm -rf "$fetch"
  mkdir -p "$fetch"
  # dpkg-source warns about one of Debian's patches (an SQL driver left out here): said only
  # when the fetch fails.
  (cd "$fetch" && apt-get "${apt_options[@]}" -qq source "qt6-base=$debian_version" \
    >"$tmp/source.log" 2>&1) || {
    cat "$tmp/source.log"
    exit 1
  }
  rm -rf "$src_dir"
  mv "$fetch"/qt6-base-*/ "$src_dir"
  rm -rf "$fetch"
}

if [ "${1:-}" = --fetch ]; then
  fetch_source
  echo "== $src_dir"
  exit 0
fi

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
  echo "== Qt $version for Windows: $prefix (built before)"
  exit 0
fi

start=$(date +%s)
fetch_source
echo "== Building Qt $version for Windows (qtbase: Core, Gui, Widgets, Test; static; windows and"
echo "   offscreen platform plugins) with ${jobs} jobs at nice ${niceness} into $prefix"
rm -rf "$prefix"
# A build stopped part-way (an hour's work) goes on where it stopped if it was configured the
# same way; otherwise it starts anew.
work_stamp="$work_dir/kestrova-configure.stamp"
if [ ! -f "$work_stamp" ] || [ "$(cat "$work_stamp")" != "$stamp_text" ]; then
  rm -rf "$work_dir"
  mkdir -p "$work_dir"
  nice -n "$niceness" cmake -S "$src_dir" -B "$work_dir" -G Ninja -Wno-dev \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${compilers[@]}" "${options[@]}" \
    >"$work_dir/configure.log" 2>&1 || {
      tail -40 "$work_dir/configure.log"
      exit 1
    }
  echo "$stamp_text" >"$work_stamp"
else
  echo "== Going on with the build stopped in $work_dir"
fi
nice -n "$niceness" cmake --build "$work_dir" -j "$jobs" >>"$work_dir/build.log" || {
  grep -B2 -A20 -m3 'FAILED:' "$work_dir/build.log" || tail -40 "$work_dir/build.log"
  exit 1
}
cmake --install "$work_dir" >/dev/null

# A static Qt links its pieces only into a program: one Widgets program with the plugins the
# window imports shows that they link, before the stamp says the prefix is good.
smoke="$work_dir/smoke"
mkdir -p "$smoke"
cat >"$smoke/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(smoke CXX)
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_executable(smoke WIN32 main.cpp)
target_link_libraries(smoke PRIVATE Qt6::Widgets Qt6::Test)
target_link_options(smoke PRIVATE -static)
qt_import_plugins(smoke INCLUDE Qt6::QWindowsIntegrationPlugin Qt6::QOffscreenIntegrationPlugin)
EOF
cat >"$smoke/main.cpp" <<'EOF'
#include <QApplication>
#include <QLabel>
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Kestrova"));
    label.show();
    return 0;
}
EOF
if ! { nice -n "$niceness" cmake -S "$smoke" -B "$smoke/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" &&
  nice -n "$niceness" cmake --build "$smoke/build"; } >"$work_dir/smoke.log" 2>&1; then
  tail -20 "$work_dir/smoke.log"
  echo "== The Qt built does not link a Widgets program; its build stays in $work_dir" >&2
  exit 1
fi
echo "$stamp_text" >"$stamp"
rm -rf "$work_dir" "$src_dir"
rmdir "$deps/build" "$deps/src" 2>/dev/null || true
elapsed=$(($(date +%s) - start))
echo "== Qt $version for Windows built in $((elapsed / 60)) min $((elapsed % 60)) s:" \
  "$prefix ($(du -sh "$prefix" | cut -f1))"
