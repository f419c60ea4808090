#!/bin/sh
# device_test.sh DEVSIM PROGRAM [ARGS...]: two simulated sensors, the native tvk9-devsim DEVSIM
# on pseudo-terminals, become COM201 and COM202 of the test prefix (a dosdevices link each) and
# are registered in its SERIALCOMM key, as a serial driver registers its ports; then PROGRAM
# runs under Wine (run.sh) with TVK9_TEST_PORT (a plain device), TVK9_TEST_SPLIT_PORT (one that
# sends each report in two halves 250 ms apart) and TVK9_TEST_REGISTERED naming them.
set -eu
: "${WINEPREFIX:?}" "${TVK9_WINE:?}"
devsim=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
pids=""

cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    for n in 201 202; do
        rm -f "$WINEPREFIX/dosdevices/com$n"
        "$TVK9_WINE" reg delete "$key" /v "\\Device\\tvk9sim$n" /f >/dev/null 2>&1 </dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# device COM FD [DEVSIM OPTIONS...]: starts one sensor, maps and registers it. Its first line
# of output is its port, once it is ready; FD keeps that output open while it runs.
device() {
    com=$1
    fd=$2
    shift 2
    mkdir "$work/$com"
    mkfifo "$work/$com.out"
    TVK9_PORT_DIR="$work/$com" "$devsim" --name "SIM$com" --settings 16,5,20,11,50,60,70 "$@" \
        >"$work/$com.out" 2>"$work/$com.log" &
    pids="$pids $!"
    eval "exec $fd<\"\$work/\$com.out\""
    if ! eval "read -r port <&$fd"; then
        cat "$work/$com.log" >&2
        echo "tvk9-devsim did not start" >&2
        exit 1
    fi
    ln -sfn "$port" "$WINEPREFIX/dosdevices/com$com"
    "$TVK9_WINE" reg add "$key" /v "\\Device\\tvk9sim$com" /t REG_SZ /d "COM$com" /f \
        >"$work/reg.log" 2>&1 </dev/null || { cat "$work/reg.log" >&2; exit 1; }
    echo "COM$com: tvk9-devsim $* on $port"
}

device 201 3
device 202 4 --split 250

TVK9_TEST_PORT=COM201 TVK9_TEST_SPLIT_PORT=COM202 TVK9_TEST_REGISTERED=COM201,COM202 \
    sh "$here/run.sh" "$@"
