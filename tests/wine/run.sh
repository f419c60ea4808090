#!/bin/sh
# run.sh PROGRAM [ARGS...]: runs a Windows program under Wine in the test run's prefix and
# passes on its output and exit code. The output goes through a file: Wine's background
# programs would keep a pipe open after the program ends. The GoogleTest cases that the
# program skipped are added, each with its reason, to $TVK9_WINE_SKIPS, which ./do prints:
# CTest shows a passing test's output nowhere else.
set -u
: "${WINEPREFIX:?}" "${TVK9_WINE:?}"
export WINEPREFIX
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$TVK9_WINE" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
# "[ RUN      ] Suite.Case", "FILE:LINE: Skipped", the reason's lines, "[  SKIPPED ] Suite.Case (N ms)".
tr -d '\r' <"$out" | awk -v program="$(basename "$1")" '
    /^\[ RUN      \] / { name = $4; reason = ""; inside = 0; next }
    /: Skipped$/ { inside = 1; next }
    /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {
        print program ": " name ": " (reason == "" ? "no reason given" : reason)
        inside = 0
        next
    }
    inside && NF { reason = reason (reason == "" ? "" : " ") $0 }
' >>"${TVK9_WINE_SKIPS:-/dev/null}"
exit $rc
