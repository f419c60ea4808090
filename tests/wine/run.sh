#!/bin/sh
# run.sh PROGRAM [ARGS...]: runs a Windows program under Wine in the test run's prefix and
# passes on its output and exit code. The output goes through a file: Wine's background
# programs would keep a pipe open after the program ends.
set -u
: "${WINEPREFIX:?}" "${TVK9_WINE:?}"
export WINEPREFIX
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$TVK9_WINE" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc
