#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARG...]: runs a Windows program under wine64, quietly, with
# PREFIX as its WINEPREFIX (made on first use, once, even when tests start in parallel).
set -eu
prefix=$1
shift
wine=${KESTROVA_WINE:-/usr/lib/wine/wine64}
export WINEPREFIX="$prefix" WINEDEBUG=-all
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      # No desktop integration, no Mono or Gecko prompts: a console prefix only.
      WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$wine" wineboot --init >/dev/null 2>&1
      "${wine%/*}/wineserver" -w
    fi
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
