#!/usr/bin/env bash
# Tries a Kestrova installer under Wine in a prefix of its own: silent installs for the current
# user and for all users (Wine's user is an administrator), the program's files, Start-menu
# entry and entry in the installed programs, a program that runs, and silent uninstalls that
# keep the user's settings, log and cache. Ends with "N passed, N failed"; exits non-zero on a
# failure.
#   installer/check.sh dist/Kestrova-<version>-setup.exe
set -euo pipefail
setup=$(realpath "$1")
version=$(basename "$setup" | sed -n 's/^Kestrova-\(.*\)-setup\.exe$/\1/p')
wine=${KESTROVA_WINE:-/usr/lib/wine/wine64}
wineserver=${wine%/*}/wineserver
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-installer.XXXXXX")
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w

passed=0
failed=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    passed=$((passed + 1))
    echo "ok      $what"
  else
    failed=$((failed + 1))
    echo "FAILED  $what"
  fi
}
present() { for f; do [ -e "$f" ] || return 1; done; }
absent() { for f; do [ ! -e "$f" ] || return 1; done; }
run() {  # run PROGRAM ARGS...: waits for every process it started (an uninstaller's copy)
  "$wine" "$@"
  "$wineserver" -w
}
unix_path() { "$wine" winepath -u "$1" 2>/dev/null; }
folder_of() { unix_path "$("$wine" cmd /c echo "%$1%" | tr -d '\r')"; }
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrova'
entry() {  # entry ROOT VALUE: prints the value of the uninstall entry
  "$wine" reg query "$1\\$uninstall_key" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z]* *//p"
}
no_entry() { ! "$wine" reg query "$1\\$uninstall_key" >/dev/null 2>&1; }

echo "== $setup ($version) under $("$wine" --version)"

# For the current user, without a question.
run "$setup" /S
dir="$(folder_of LOCALAPPDATA)/Programs/Kestrova"
menu="$(folder_of APPDATA)/Microsoft/Windows/Start Menu/Programs/Kestrova.lnk"
check "per user: the window program, the command line and the uninstaller in %LOCALAPPDATA%\\Programs\\Kestrova" \
  present "$dir/kestrova.exe" "$dir/kestrova-cli.exe" "$dir/uninstall.exe"
check "per user: a Start-menu entry Kestrova" present "$menu"
check "per user: an entry in the installed programs with the version $version" \
  test "$(entry HKCU DisplayVersion)" = "$version"
check "per user: the entry uninstalls silently from the program's folder" \
  test "$(entry HKCU QuietUninstallString)" = "\"$("$wine" winepath -w "$dir" 2>/dev/null | tr -d '\r')\\uninstall.exe\" /S"
check "per user: no entry for all users" no_entry HKLM
check "per user: the installed command line runs" run "$dir/kestrova-cli.exe" --help

# The window program on a platform: its log's first line comes after Qt's platform plugin
# started (a static Qt has only the plugins linked into the program).
started=$(printf 'アプリケーションが起動しました。' | iconv -f UTF-8 -t CP932)
starts_on() {  # starts_on PLATFORM [X DISPLAY]
  local pid found=1
  rm -rf "$dir/logs"
  # Wine hands no QT_ variable to its programs: the platform goes as Qt's own argument.
  env ${2:+DISPLAY="$2"} "$wine" "$dir/kestrova.exe" -platform "$1" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 150); do
    if LC_ALL=C grep -qF "$started" "$dir/logs/Kestrova.log" 2>/dev/null; then
      found=0
      break
    fi
    sleep 0.2
  done
  "$wine" taskkill /F /IM kestrova.exe >/dev/null 2>&1 || true
  wait "$pid" 2>/dev/null || true
  "$wineserver" -w
  return "$found"
}
check "per user: the window program starts without a desktop (offscreen)" starts_on offscreen
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  check "per user: the window program starts on a display (windows)" \
    starts_on windows ":$(cat "$work/display")"
  kill "$xvfb"
  wait "$xvfb" 2>/dev/null || true
fi

# What the program keeps in its folder, and the working folders it makes.
mkdir -p "$dir/logs" "$dir/appdata/cache" "$dir/temp" "$dir/backup" "$dir/icons"
printf '[USE_OPT1]\r\nTFJV_Path=C:\\TFJV\r\n' >"$dir/Kestrova.Ini"
echo log >"$dir/logs/Kestrova.log"
echo page >"$dir/appdata/cache/entry"
run "$dir/uninstall.exe" /S
check "uninstall: the program, its uninstaller and the Start-menu entry are gone" \
  absent "$dir/kestrova.exe" "$dir/kestrova-cli.exe" "$dir/uninstall.exe" "$menu"
check "uninstall: the entry in the installed programs is gone" no_entry HKCU
check "uninstall: settings, log and cache are kept" \
  present "$dir/Kestrova.Ini" "$dir/logs/Kestrova.log" "$dir/appdata/cache/entry"
check "uninstall: the empty working folders are gone" \
  absent "$dir/temp" "$dir/backup" "$dir/icons"

# For all users, when asked.
run "$setup" /S /ALLUSERS
all_dir="$(folder_of ProgramW6432)/Kestrova"
all_menu="$(folder_of ProgramData)/Microsoft/Windows/Start Menu/Programs/Kestrova.lnk"
check "all users: the program in Program Files" present "$all_dir/kestrova.exe"
check "all users: a Start-menu entry for all users" present "$all_menu"
check "all users: an entry in the installed programs of the machine" \
  test "$(entry HKLM DisplayVersion)" = "$version"
run "$all_dir/uninstall.exe" /S
check "all users: uninstall removes the folder and the Start-menu entry" absent "$all_dir" "$all_menu"
check "all users: uninstall removes the entry" no_entry HKLM

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
