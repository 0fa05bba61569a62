#!/usr/bin/env bash
# Installs what is needed and builds, then runs the demo against the sample server on a free
# loopback port with a sample host folder under demo/: the window (kestrova) where there is a
# display, with its settings pointing at the server and the host folder; without a display
# kestrova-cli exports this week's days and a short past-data range instead and a summary of
# the files written follows. Exits with the window's exit code, or with the first failing exit
# code of kestrova-cli (0 when both exports finished).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh

build_dir="${KESTROVA_BUILD_DIR:-build}"
server_exe="$build_dir/tools/sample-server/kestrova-sample-server"
cli_exe="$build_dir/src/cli/kestrova-cli"
window_exe="$build_dir/src/app/kestrova"
demo="$PWD/demo"
app="$demo/app"
host="$demo/host"

# A fresh demo each time, so that the summary shows this run's files only.
rm -rf "$demo"
mkdir -p "$app" "$host/MY_DATA/YOS_COM" "$host/MY_DATA/KEK_COM"
: >"$host/TFJV.EXE"

server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap stop_server EXIT

"$server_exe" --port 0 >"$demo/server.log" 2>&1 &
server_pid=$!
host_port=""
for _ in $(seq 100); do
  host_port="$(sed -n 's|^listening on http://||p' "$demo/server.log")"
  [ -n "$host_port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$host_port" ]; then
  echo "The sample server did not start:" >&2
  cat "$demo/server.log" >&2
  exit 1
fi
echo "== Sample server: http://$host_port"

# The settings file is CP932 with CR LF, as the program writes it.
printf '[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=%s\r\nRaceAuthorityHost=http://%s\r\n[USE_OPT1]\r\nTFJV_Path=%s\r\n' \
  "$host_port" "$host_port" "$host" | iconv -f UTF-8 -t CP932 >"$app/Kestrova.Ini"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  # The application folder is the executable's folder: the window runs from demo/app.
  cp "$window_exe" "$app/kestrova"
  echo "== The window opens against the sample server; the host folder is $host"
  echo "== Close the window to end the demo. Log: $app/logs/Kestrova.log"
  rc=0
  "$app/kestrova" || rc=$?
  exit "$rc"
fi
echo "== No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the window cannot open;"
echo "== running the same exports with kestrova-cli instead."

all_data=(--kinds all --predict all --result all)
status=0
run_cli() {
  echo "== kestrova-cli export $*"
  local rc=0
  "$cli_exe" export --app-folder "$app" "$@" || rc=$?
  echo "== exit code $rc"
  if [ "$status" -eq 0 ]; then
    status=$rc
  fi
}

# This week's meeting days, learnt from the racing authority's pages as the window does.
echo "== kestrova-cli days"
"$cli_exe" days --app-folder "$app" || true
run_cli --this-week "${all_data[@]}"

# Past data of the year that holds the server's newest month (the month before today).
past_year="$(date -d "$(date +%Y-%m-01) -1 month" +%Y)"
run_cli --past "$past_year" "${all_data[@]}"

echo
echo "== Files written under $host"
for folder in MY_DATA/YOS_COM MY_DATA/KEK_COM KSTR_DATA; do
  count=0
  [ -d "$host/$folder" ] && count="$(find "$host/$folder" -type f | wc -l)"
  printf '  %-16s %6d files\n' "$folder" "$count"
done

show_example() {
  local file
  file="$(find "$host/$1" -type f -name "$2" 2>/dev/null | sort | sed -n 1p)"
  [ -n "$file" ] || return 0
  echo "  ${file#"$host"/} (CP932, shown as UTF-8):"
  head -n 3 "$file" | iconv -f CP932 -t UTF-8 | tr -d '\r' | sed 's/^/    /'
}
echo "== Examples"
show_example MY_DATA/YOS_COM 'YC*.DAT'
show_example MY_DATA/KEK_COM 'KC*.DAT'
show_example KSTR_DATA 'KSTR010_*.CSV'
echo "== Log: $app/logs/Kestrova.log"
exit "$status"
