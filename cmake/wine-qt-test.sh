#!/bin/sh
# wine-qt-test.sh PREFIX PROGRAM [ARG...]: runs a Qt Test program under wine64 and prints its
# results. A Windows program without a console logs them to the debugger, and Wine hands it no
# QT_ variable that would say otherwise: they go to a file, printed when the program ends.
prefix=$1
program=$2
shift 2
results=$(mktemp "${TMPDIR:-/tmp}/kestrova-qt-test.XXXXXX")
# The working folder is on Wine's drive Z:, which is /: the Unix path names the file there too.
"$(dirname "$0")/wine-run.sh" "$prefix" "$program" -o "$results,txt" "$@"
code=$?
tr -d '\r' <"$results"
rm -f "$results"
exit "$code"
