#!/usr/bin/env bash
# Draws the Windows main window as docs/main-window-windows.png: the installer that
# scripts/build-windows.sh made installs silently into a Wine prefix of its own; the installed
# kestrova.exe opens in a Wine desktop on Xvfb against the sample server (the Linux build's)
# with a sample host folder, exports this week's days through its export button, and the
# desktop is saved. The window is then closed and the settings it saved are shown.
#   scripts/screenshot-windows.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out="${1:-docs/main-window-windows.png}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/app/CMakeCache.txt)
setup="dist/Kestrova-$version-setup.exe"
wine=${KESTROVA_WINE:-/usr/lib/wine/wine64}
wineserver=${wine%/*}/wineserver

# The Linux sample server.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON >/dev/null
nice -n "${KESTROVA_NICE:-5}" cmake --build build -j "${KESTROVA_JOBS:-2}" \
  --target kestrova-sample-server >/dev/null

work="$root/build-windows/screenshot"
rm -rf "$work"
mkdir -p "$work/host/MY_DATA/YOS_COM" "$work/host/MY_DATA/KEK_COM"
: >"$work/host/TFJV.EXE"
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

pids=()
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

build/tools/sample-server/kestrova-sample-server --port 0 >"$work/server.log" 2>&1 &
pids+=($!)
Xvfb -displayfd 5 -screen 0 1100x760x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
pids+=($!)
host_port=""
for _ in $(seq 100); do
  host_port=$(sed -n 's|^listening on http://||p' "$work/server.log")
  [ -n "$host_port" ] && [ -s "$work/display" ] && break
  sleep 0.1
done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
echo "== Sample server http://$host_port, Xvfb $DISPLAY"

"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
"$wine" "$setup" /S
"$wineserver" -w
app=$("$wine" winepath -u "$("$wine" cmd /c echo '%LOCALAPPDATA%' | tr -d '\r')" 2>/dev/null)
app="$app/Programs/Kestrova"
host_win=$("$wine" winepath -w "$work/host" 2>/dev/null | tr -d '\r')

# At 20, 20 pixels of the desktop (15 twips a pixel), with the index kinds and comment
# entries of the Linux picture chosen; CP932 with CR LF, as the program writes it.
printf '[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=%s\r\nRaceAuthorityHost=http://%s\r\nM_Top=300\r\nM_Left=300\r\n[USE_OPT1]\r\nTFJV_Path=%s\r\nTFJV_DTSL=%s\r\nTFJV_YSCM=%s\r\n' \
  "$host_port" "$host_port" "$host_win" "00011010010000001000000000000000000000000000000000" \
  "1111001000" | iconv -f UTF-8 -t CP932 >"$app/Kestrova.Ini"

"$wine" explorer /desktop=Kestrova,1100x760 "$("$wine" winepath -w "$app/kestrova.exe" | tr -d '\r')" &
pids+=($!)
for _ in $(seq 300); do
  grep -q 'Form_Load' "$app/logs/Kestrova.log" 2>/dev/null && break
  sleep 0.1
done
sleep 3

mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "== $out"
