# Sourced by the tests that run Windows programs against simulated sensors: device() starts
# the native tvk9-devsim ($devsim) on a pseudo-terminal, maps it as a COM port of the test
# prefix (a dosdevices link) and registers it in the prefix's SERIALCOMM key, as a serial
# driver registers its ports; unplug() and plug() take a port's registration away and give it
# back. Everything goes again when the test ends. Needs WINEPREFIX and TVK9_WINE.
: "${WINEPREFIX:?}" "${TVK9_WINE:?}" "${devsim:?}"
work=$(mktemp -d)
serialcomm='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
pids=""
coms=""

cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    for n in $coms; do
        rm -f "$WINEPREFIX/dosdevices/com$n"
        unplug "$n" || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# plug N / unplug N: COMN's value in SERIALCOMM, made or deleted.
plug() {
    "$TVK9_WINE" reg add "$serialcomm" /v "\\Device\\tvk9sim$1" /t REG_SZ /d "COM$1" /f \
        >"$work/reg.log" 2>&1 </dev/null || { cat "$work/reg.log" >&2; return 1; }
}
unplug() {
    "$TVK9_WINE" reg delete "$serialcomm" /v "\\Device\\tvk9sim$1" /f >"$work/reg.log" 2>&1 </dev/null
}

# device N FD [DEVSIM OPTIONS...]: starts one sensor (settings 16,5,20,11,50,60,70) as COMN,
# its frames logged in $work/N.log. Its first line of output is its port, once it is ready;
# FD keeps that output open while it runs.
device() {
    n=$1
    fd=$2
    shift 2
    mkdir "$work/$n"
    mkfifo "$work/$n.out"
    TVK9_PORT_DIR="$work/$n" "$devsim" --name "SIM$n" --settings 16,5,20,11,50,60,70 --log "$@" \
        >"$work/$n.out" 2>"$work/$n.log" &
    pids="$pids $!"
    eval "exec $fd<\"\$work/\$n.out\""
    if ! eval "read -r port <&$fd"; then
        cat "$work/$n.log" >&2
        echo "tvk9-devsim did not start" >&2
        exit 1
    fi
    coms="$coms $n"
    ln -sfn "$port" "$WINEPREFIX/dosdevices/com$n"
    plug "$n" || exit 1
    echo "COM$n: tvk9-devsim $* on $port"
}
