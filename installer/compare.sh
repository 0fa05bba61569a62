#!/usr/bin/env bash
# Installs a Kestrova installer silently into a Wine prefix of its own and compares what the
# installed kestrova-cli.exe writes with what the Linux build's kestrova-cli writes, against
# the Linux build's sample server: a past year (2026) and this week, every kind and comment.
# Prints each run's figures and "identical" per selection; exits non-zero on any difference.
#   installer/compare.sh dist/Kestrova-<version>-setup.exe [LINUX_BUILD_DIR (default build)]
set -uo pipefail
setup=$(realpath "$1")
linux=$(realpath "${2:-build}")
wine=${KESTROVA_WINE:-/usr/lib/wine/wine64}
wineserver=${wine%/*}/wineserver
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-compare.XXXXXX")
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  "$wineserver" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
"$wine" "$setup" /S
"$wineserver" -w
installed=$("$wine" winepath -u "$("$wine" cmd /c echo '%LOCALAPPDATA%' | tr -d '\r')" 2>/dev/null)
installed="$installed/Programs/Kestrova/kestrova-cli.exe"
[ -f "$installed" ] || { echo "not installed: $installed" >&2; exit 1; }

"$linux/tools/sample-server/kestrova-sample-server" --port 0 >"$work/server.log" 2>&1 &
server=$!
host_port=""
for _ in $(seq 100); do
  host_port=$(sed -n 's|^listening on http://||p' "$work/server.log")
  [ -n "$host_port" ] && break
  sleep 0.1
done
[ -n "$host_port" ] || { cat "$work/server.log" >&2; exit 1; }

files() { find "$1" -type f ! -name TFJV.EXE ! -name Kestrova.lock; }
failed=0
for selection in "--past 2026" "--this-week"; do
  for side in linux windows; do
    app="$work/$side/app" host="$work/$side/host"
    rm -rf "$work/$side"
    mkdir -p "$app" "$host/MY_DATA/YOS_COM" "$host/MY_DATA/KEK_COM"
    : >"$host/TFJV.EXE"
    printf '[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=%s\r\nRaceAuthorityHost=http://%s\r\n' \
      "$host_port" "$host_port" >"$app/Kestrova.Ini"
    start=$SECONDS
    # shellcheck disable=SC2086 # the selection is two words
    if [ "$side" = linux ]; then
      "$linux/src/cli/kestrova-cli" export $selection --kinds all --predict all --result all \
        --app-folder "$app" --host-folder "$host" >"$work/$side.out" 2>&1
    else
      "$wine" "$installed" export $selection --kinds all --predict all --result all \
        --app-folder "$("$wine" winepath -w "$app")" \
        --host-folder "$("$wine" winepath -w "$host")" >"$work/$side.out" 2>&1
    fi
    code=$?
    echo "$side $selection: exit $code, $((SECONDS - start)) s, $(files "$host" | wc -l) files," \
      "$(files "$host" | xargs -d '\n' cat | wc -c) bytes"
    [ "$code" -eq 0 ] || { tail -5 "$work/$side.out"; failed=1; }
  done
  if diff -r -x Kestrova.lock "$work/linux/host" "$work/windows/host" >"$work/diff" 2>&1; then
    echo "== $selection: identical"
  else
    echo "== $selection: DIFFERENT"
    head -20 "$work/diff"
    failed=1
  fi
done
exit "$failed"
