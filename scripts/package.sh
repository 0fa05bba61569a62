#!/usr/bin/env bash
# Builds the Debian package from the normal build: build/package/kestrova_<version>_amd64.deb.
#   scripts/package.sh           build (scripts/build.sh), then cpack
#   scripts/package.sh --check   then also, as root on a machine without kestrova installed:
#     lintian (no errors), the menu entry and the AppStream file validated, dpkg -i, from
#     PATH kestrova-cli --version and a this-week export against the sample server with the
#     per-user folder, the crontab line of `schedule` run as cron would, dpkg -r, and no file
#     of the package (nor one the program wrote beside itself) left under /usr.
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

build_dir="${KESTROVA_BUILD_DIR:-build}"
./scripts/build.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
rm -rf "$build_dir/package"
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb="$(cd "$build_dir/package" && pwd)/kestrova_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no package made: $deb" >&2; exit 1; }
echo "== $deb ($(du -k "$deb" | cut -f1) KB)"
[ "$check" -eq 1 ] || exit 0

if dpkg-query -W -f='${Status}' kestrova 2>/dev/null | grep -q 'install ok installed'; then
  echo "kestrova is installed on this machine; the check would replace and remove it" >&2
  exit 1
fi

echo "== lintian"
lintian --fail-on error "$deb"
desktop-file-validate packaging/linux/jp.kestrova.Kestrova.desktop
appstreamcli validate --no-net packaging/linux/jp.kestrova.Kestrova.metainfo.xml >/dev/null

work=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  if dpkg-query -W -f='${Status}' kestrova 2>/dev/null | grep -q 'install ok installed'; then
    dpkg -r kestrova >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== dpkg -i"
dpkg -i "$deb" >/dev/null
[ "$(command -v kestrova-cli)" = /usr/bin/kestrova-cli ]
expected="Kestrova Ver. $version C"
[ "$(kestrova-cli --version)" = "$expected" ]
[ "$(kestrova --version)" = "$expected" ]
echo "$expected"

"$build_dir/tools/sample-server/kestrova-sample-server" --port 0 >"$work/server.log" 2>&1 &
server_pid=$!
host_port=""
for _ in $(seq 100); do
  host_port="$(sed -n 's|^listening on http://||p' "$work/server.log")"
  [ -n "$host_port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$host_port" ] || { cat "$work/server.log" >&2; exit 1; }

# A user of their own: the installed program keeps its files in ~/.local/share/Kestrova, and
# no user manager runs for it, so that schedule prints its crontab lines.
export HOME="$work/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
app="$HOME/.local/share/Kestrova"
host="$work/競馬 share/TFJV"
mkdir -p "$app" "$host/MY_DATA/YOS_COM" "$host/MY_DATA/KEK_COM"
: >"$host/TFJV.EXE"
printf '[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=%s\r\nRaceAuthorityHost=http://%s\r\n[USE_OPT1]\r\nTFJV_Path=%s\r\n' \
  "$host_port" "$host_port" "$host" | iconv -f UTF-8 -t CP932 >"$app/Kestrova.Ini"

echo "== kestrova-cli export --this-week (from PATH)"
(cd "$work" && kestrova-cli export --this-week --kinds all --predict all --result all >"$work/export.out")
tail -n 1 "$work/export.out"
written=$(find "$host/KSTR_DATA" -type f | wc -l)
[ "$written" -gt 0 ]
echo "$written index files written"
log=$(iconv -f CP932 -t UTF-8 "$app/logs/Kestrova.log")
grep -qF "プログラムのフォルダ（/usr/bin）に書き込めないため、ユーザーのデータフォルダを使用します：$app" <<<"$log"

echo "== kestrova-cli schedule --this-week --kinds all (no user manager: the crontab lines)"
(cd "$work" && kestrova-cli schedule --this-week --kinds all >"$work/crontab")
cat "$work/crontab"
[ "$(wc -l <"$work/crontab")" -eq 2 ]
[ ! -e "$HOME/.config/systemd/user/kestrova-export.timer" ]
# The command after the five time fields, as cron hands it to /bin/sh (no "%" in it here).
command=$(head -n 1 "$work/crontab" | cut -d' ' -f6-)
if grep -q '%' <<<"$command"; then
  echo "unexpected % in the crontab line" >&2
  exit 1
fi
rm -rf "$host/KSTR_DATA"
(cd / && sh -c "$command" >/dev/null)
[ "$(find "$host/KSTR_DATA" -type f | wc -l)" -eq "$written" ]
echo "the crontab line's command wrote the same $written index files"

echo "== dpkg -r"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' >"$work/files"
dpkg -r kestrova >/dev/null
left=0
while read -r file; do
  if [ -e "$file" ]; then echo "left behind: $file" >&2; left=1; fi
done < <(cat "$work/files"; printf '/usr/bin/%s\n' Kestrova.Ini logs temp backup icons appdata)
[ "$left" -eq 0 ]
echo "== package check passed: nothing of the package left under /usr"
