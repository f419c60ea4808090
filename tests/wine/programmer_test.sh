#!/bin/sh
# programmer_test.sh DEVSIM SETTINGS_TOOL PROBE PROGRAM: tvk9-programmer.exe (PROGRAM) under Wine
# on a virtual display, played from another Windows process (PROBE, tests/win32/
# programmer_probe.cpp) against simulated sensors, the native tvk9-devsim DEVSIM on COM ports of
# the test prefix (devices.sh), each alone on the system: one that answers (COM7), one that keeps
# its settings (COM8), one that never answers (COM9). The frames the sensors received are checked
# against frames worked out by hand. The settings file is the README's example, made by the
# native tvk9-settings (SETTINGS_TOOL). Run under xvfb-run: Wine's windows need a display.
set -eu
devsim=$1
settings_tool=$2
probe=$3
exe=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/devices.sh"
: "${DISPLAY:?the window needs a display (xvfb-run)}"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
# received N FRAME COUNT: the sensor on COMN received FRAME, COUNT times.
received() {
    count=$(grep -cF "rx $2" "$work/$1.log") || true
    [ "${count:-0}" -eq "$3" ] || fail "COM$1 received $2 ${count:-0} times, not $3"
}
# scenario NAME N [FILE]: the probe plays NAME against the sensor on COMN, the only port.
scenario() {
    name=$1
    n=$2
    shift 2
    # A desktop of its own, whose windows Wine draws on this display: the prefix's default one
    # was made before there was a display.
    "$TVK9_WINE" explorer /desktop=tvk9-programmer-test,1024x768 "$probe_exe" "$program_exe" "$name" "$@" \
        >"$work/probe.raw" 2>&1 </dev/null || true
    tr -d '\r' <"$work/probe.raw" | tee "$work/probe.out"
    grep -q "^$name: all checks passed" "$work/probe.out" || fail "the probe's $name"
    unplug "$n"
}

windows_path() { "$TVK9_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
probe_exe=$(windows_path "$probe")
program_exe=$(windows_path "$exe")

# --version and --help answer on the pipe the program was started from.
"$TVK9_WINE" "$exe" --version >"$work/version" 2>&1 </dev/null || fail "--version failed"
tr -d '\r' <"$work/version" | grep -qx 'tvk9-programmer [0-9]*\.[0-9]*\.[0-9]*' ||
    fail "--version says: $(cat "$work/version")"
"$TVK9_WINE" "$exe" --help >"$work/help" 2>&1 </dev/null || fail "--help failed"
head -n 1 "$work/help" | grep -q '^Usage: tvk9-programmer' || fail "--help says: $(head -n 1 "$work/help")"

# The README's example file: its settings frame is AA 02 01 11 09 14 19 00 FF F3.
printf 'vexnoc\n0.7\n-0.05\n1.5\n2.55\n25.6\n-0.1\n1\n' | "$settings_tool" encode -o "$work/example.tvk"

# The scan finds the sensor (settings 16,5,20,11,50,60,70), queries it (AA 01 ... AB) and shows
# its settings; the file's values are written: AA+02+01+11+09+14+19+00+FF = 0x1F3.
device 7 3
scenario found 7 "$(windows_path "$work/example.tvk")"
received 7 'AA 01 00 00 00 00 00 00 00 AB' 1
received 7 'AA 02 01 11 09 14 19 00 FF F3' 1

# Start without a file sends the queried four and zeros: AA+02+10+05+14+0B = 0xE0. The sensor
# answers with the settings it kept.
device 8 4 --ignore-writes
printf 'zz00\r\n' >"$work/not-hex.tvk"
scenario kept 8 "$(windows_path "$work/not-hex.tvk")"
received 8 'AA 02 10 05 14 0B 00 00 00 E0' 1

# A sensor that announces itself and never answers: the query goes unanswered, nothing is written.
device 9 5 --silent
scenario silent 9
received 9 'AA 01 00 00 00 00 00 00 00 AB' 1
received 9 'AA 02' 0

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "tvk9-programmer.exe: all checks passed"
