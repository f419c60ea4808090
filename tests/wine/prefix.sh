#!/bin/sh
# prefix.sh start | stop: the Wine prefix of one test run ($WINEPREFIX), made afresh at the
# start and served by one persistent Wine server until the stop. Needs TVK9_WINE and
# TVK9_WINESERVER (the programs) in the environment.
set -eu
: "${WINEPREFIX:?}" "${TVK9_WINE:?}" "${TVK9_WINESERVER:?}"
export WINEPREFIX

case "${1:-}" in
start)
    "$TVK9_WINESERVER" -k >/dev/null 2>&1 || true
    "$TVK9_WINESERVER" -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    [ -z "${TVK9_WINE_SKIPS:-}" ] || : >"$TVK9_WINE_SKIPS"
    log="$WINEPREFIX.log"
    # Wine's own background programs inherit whatever output they are given: a file, never
    # the pipe of the test runner, which would then wait for them for ever.
    "$TVK9_WINESERVER" -p >"$log" 2>&1
    if ! "$TVK9_WINE" wineboot --init >>"$log" 2>&1 </dev/null; then
        cat "$log"
        echo "wineboot could not make the prefix $WINEPREFIX" >&2
        exit 1
    fi
    # Wine maps COM ports onto this machine's serial devices (/dev/ttyS*, perhaps its console),
    # which are none of the tests' business: they use the ports they map onto simulated sensors.
    rm -f "$WINEPREFIX"/dosdevices/com*
    "$TVK9_WINE" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /va /f >>"$log" 2>&1 </dev/null || true
    echo "Wine prefix $WINEPREFIX ready ($("$TVK9_WINE" --version 2>/dev/null || echo Wine))"
    ;;
stop)
    "$TVK9_WINESERVER" -k >/dev/null 2>&1 || true
    "$TVK9_WINESERVER" -w >/dev/null 2>&1 || true
    echo "Wine server of $WINEPREFIX stopped"
    ;;
*)
    echo "usage: prefix.sh start | stop" >&2
    exit 2
    ;;
esac
