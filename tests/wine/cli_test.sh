#!/bin/sh
# cli_test.sh DEVSIM SETTINGS_TOOL CLI: tvk9-cli.exe (CLI) under Wine against simulated sensors,
# the native tvk9-devsim DEVSIM on COM ports of the test prefix (devices.sh): each command, its
# output for people and as JSON, its exit code, and the frames that the sensors received,
# against frames worked out by hand. The settings file is the README's example, made by the
# native tvk9-settings (SETTINGS_TOOL). Cases that Wine cannot play are skipped, with the reason,
# also in $TVK9_WINE_SKIPS.
set -eu
devsim=$1
settings_tool=$2
exe=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/devices.sh"

failures=0
what=""

# cli ARGS...: tvk9-cli.exe under Wine; $rc its exit code, $work/out and $work/err its output
# without Windows's carriage returns.
cli() {
    what="tvk9-cli $*"
    rc=0
    "$TVK9_WINE" "$exe" "$@" >"$work/out.raw" 2>"$work/err.raw" </dev/null || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
    tr -d '\r' <"$work/err.raw" >"$work/err"
}
fail() {
    echo "FAILED: $what: $*"
    printf -- '--- stdout:\n%s\n--- stderr:\n%s\n' "$(cat "$work/out")" "$(cat "$work/err")"
    failures=$((failures + 1))
}
exits() { [ "$rc" -eq "$1" ] || fail "exit code $rc, not $1"; }
# says out|err TEXT: the output holds TEXT.
says() { grep -qF -- "$2" "$work/$1" || fail "no \"$2\" on std$1"; }
# reads out|err: the output is exactly what follows on standard input.
reads() { diff -u - "$work/$1" >"$work/diff" || fail "std$1 differs: $(cat "$work/diff")"; }
# received N FRAME COUNT: the sensor on COMN received frames that begin with FRAME, COUNT times.
received() {
    count=$(grep -cF "rx $2" "$work/$1.log") || true
    [ "${count:-0}" -eq "$3" ] || fail "COM$1 received $2 ${count:-0} times, not $3"
}
skip() {
    echo "SKIPPED: $1: $2"
    echo "cli_test.sh: $1: $2" >>"${TVK9_WINE_SKIPS:-/dev/null}"
}
# wait_for FILE PATTERN COUNT: until FILE has COUNT lines matching PATTERN (20 s at most).
wait_for() {
    tries=400
    while :; do
        count=$(grep -c -- "$2" "$1" 2>/dev/null) || true
        [ "${count:-0}" -lt "$3" ] || return 0
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || { fail "no $3 lines \"$2\" in $1"; return 1; }
        sleep 0.05
    done
}

# The README's example file: its settings frame is AA 02 01 11 09 14 19 00 FF F3.
printf 'vexnoc\n0.7\n-0.05\n1.5\n2.55\n25.6\n-0.1\n1\n' | "$settings_tool" encode -o "$work/example.tvk"
example="Z:$work/example.tvk"
F3='AA 02 01 11 09 14 19 00 FF F3'

device 211 3
device 212 4 --silent
device 213 5 --ignore-writes
device 214 6 --unplug-after 1
device 215 7 --no-announce --silent

# What there is: the prefix has no COM ports but these.
cli ports
exits 0
reads out <<'EOF'
COM211
  can be opened
COM212
  can be opened
COM213
  can be opened
COM214
  can be opened
COM215
  can be opened
EOF
cli ports --json
exits 0
reads out <<'EOF'
{"command":"ports","ports":[{"port":"COM211","usb":null,"usable":true,"problem":null},{"port":"COM212","usb":null,"usable":true,"problem":null},{"port":"COM213","usb":null,"usable":true,"problem":null},{"port":"COM214","usb":null,"usable":true,"problem":null},{"port":"COM215","usb":null,"usable":true,"problem":null}],"exit_code":0}
EOF
cli find
exits 0
reads out <<'EOF'
COM211
COM212
COM213
COM214
EOF
cli find --json
exits 0
reads out <<'EOF'
{"command":"find","found":[{"port":"COM211","usb":null},{"port":"COM212","usb":null},{"port":"COM213","usb":null},{"port":"COM214","usb":null}],"silent":["COM215"],"skipped":[],"exit_code":0}
EOF
cli read
exits 5
says err 'Several sensors found; name one with --port:'
says err '  COM214'

# Settings 16,5,20,11,50,60,70: 0x10 is horizontal, 5 REV, 20 and 11 NOR.
cli read -p COM211
exits 0
reads out <<'EOF'
port         COM211
orientation  horizontal (0x10)
pitch        REV (5)
roll         NOR (20)
yaw          NOR (11)
scale1       50
scale2       60
scale3       70
EOF
cli read --port=COM211 --json
exits 0
says out '"settings":{"orientation":16,"pitch":5,"roll":20,"yaw":11,"scale1":50,"scale2":60,"scale3":70}'
says out '"choices":{"orientation":"horizontal","pitch":"REV","roll":"NOR","yaw":"NOR"},"exit_code":0}'

# Vertical sets bit 0 (0x11), NOR of 5 is 15, REV of 11 is 9; the scaled values stay.
# AA+02+11+0F+14+09+32+3C+46 = 0x19D.
cli write -p COM211 --orientation vertical --pitch nor --yaw rev --dry-run
exits 0
says out 'frame        AA 02 11 0F 14 09 32 3C 46 9D (not written: --dry-run)'
received 211 'AA 02' 0
cli write -p COM211 --orientation vertical --pitch nor --yaw rev --json
exits 0
says out '"frame":"AA 02 11 0F 14 09 32 3C 46 9D","changes":[{"field":"orientation","from":16,"to":17},{"field":"pitch","from":5,"to":15},{"field":"yaw","from":11,"to":9}]'
says out '"result":"Modify Successful!","exit_code":0}'
received 211 'AA 02 11 0F 14 09 32 3C 46 9D' 1
cli write -p COM211 --file "$example"
exits 0
says out 'Modify Successful!'
received 211 "$F3" 1

# The backup, written by Windows's C library, reads back to the same frame on this machine.
cli backup -p COM211 -o "Z:$work/backup.tvk"
exits 0
[ "$("$settings_tool" decode --frame "$work/backup.tvk")" = "$F3" ] || fail "the backup is not $F3"

# A sensor that never answers, one that keeps its settings, one unplugged after one answer,
# and a port that is not there.
cli read -p COM212
exits 3
reads err <<'EOF'
No response!
EOF
cli write -p COM212 --file "$example" --json
exits 3
says out '"error":"No response!","exit_code":3}'
cli write -p COM213 --file "$example"
exits 2
says err 'No Sucess!'
received 213 "$F3" 1
cli write -p COM214 --yaw rev
exits 4
says err 'COM214 has gone away (unplugged?) — plug the sensor in and try again'
cli read -p COM250
exits 4
says err 'COM250 does not exist — plug the sensor in and try again'
skip 'exit 4 for a port that another program has open' \
    'Wine opens a COM port again that a program has open (no exclusive open)'
cli udev-rule
exits 1
says err 'udev-rule is for Linux'

# Ctrl+C ends a command with 130 once its ports are closed: here find, which listens to the
# sensor that never announces itself until it is interrupted.
opened=$(grep -c ' open$' "$work/215.log") || true
"$TVK9_WINE" "$exe" find --timeout 600000 >"$work/out.raw" 2>"$work/err.raw" </dev/null &
finder=$!
pids="$pids $finder"
what="tvk9-cli find, then Ctrl+C"
wait_for "$work/215.log" ' open$' $((opened + 1)) || true
kill -INT "$finder"
rc=0
wait "$finder" || rc=$?
tr -d '\r' <"$work/err.raw" >"$work/err"
exits 130
reads err <<'EOF'
Interrupted
EOF
skip 'Ctrl+Break and a closed console' \
    'this test reaches a Wine program with SIGINT alone, which Wine turns into Ctrl+C'

# watch: only the sensors plugged in while it runs, each found through the registry's change
# notice, written once; Ctrl+C ends it.
for n in 211 212 213 214 215; do unplug $n; done
"$TVK9_WINE" "$exe" watch --file "$example" --json >"$work/watch" 2>"$work/err" </dev/null &
watch=$!
pids="$pids $watch"
what="tvk9-cli watch --file example.tvk --json"
wait_for "$work/err" 'Ctrl+C ends' 1 || true
device 216 8
wait_for "$work/watch" '"port":"COM216"' 1 || true
device 217 9
wait_for "$work/watch" '"port":"COM217"' 1 || true
kill -INT "$watch"
rc=0
wait "$watch" || rc=$?
exits 130
tr -d '\r' <"$work/watch" >"$work/out"
for n in 216 217; do
    says out "\"port\":\"COM$n\",\"serial\":null,\"result\":\"Modify Successful!\",\"written\":{\"orientation\":1,\"pitch\":17,\"roll\":9,\"yaw\":20,\"scale1\":25,\"scale2\":0,\"scale3\":255}"
    received $n "$F3" 1
done
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "watch wrote more than its two sensors"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "tvk9-cli.exe: all checks passed"
