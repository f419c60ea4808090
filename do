#!/bin/sh
# The project's one entry point: ./do build | test | package | windows | windows-package | run | demo | bench | fuzz
set -eu
cd "$(dirname "$0")"
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

BASE_PACKAGES="g++ cmake ninja-build pkg-config qt6-base-dev libgtest-dev libgmock-dev fonts-dejavu-core openssl"
# What makes the man pages and the PNG icons.
INSTALL_FILES_PACKAGES="help2man librsvg2-bin"
# The Debian package: Debian's build flags and dpkg-shlibdeps, and the tools that check it.
PACKAGE_PACKAGES="dpkg-dev desktop-file-utils appstream man-db groff-base file lintian"
BENCH_PACKAGES="libbenchmark-dev"
# The peers the benchmarks measure the project against, and what runs and shows them.
PEER_PACKAGES="libssl-dev qt6-serialport-dev xvfb xauth bsdextrautils"
FUZZ_PACKAGES="clang libclang-rt-14-dev"
SHOW_PACKAGES="xvfb xauth"
# The Windows build (mingw-w64 with POSIX threads, GoogleTest's sources) and Wine to test it.
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix googletest wine64 librsvg2-bin icoutils xvfb xauth"
# The Windows setup (NSIS) and what unpacks the zip in its tests.
WINDOWS_PACKAGE_PACKAGES="nsis unzip"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

APT_UPDATED=no
# need PKG...: installs the Debian packages that are missing, running apt-get update once.
need() {
    missing=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "installing:$missing"
    if [ "$APT_UPDATED" = no ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
        APT_UPDATED=yes
    fi
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}

# need_locale NAME: generates a locale such as de_DE.UTF-8 when it is missing; the tests of the
# regional decimal separator run under one whose separator is a comma.
need_locale() {
    wanted=$(printf '%s' "$1" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
    locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$wanted" && return 0
    need locales
    echo "generating the locale $1"
    as_root localedef -i "${1%%.*}" -c -f UTF-8 "$1"
}

# configure DIR [CMAKE ARGS...]: the project's own builds treat warnings as errors (a folder
# configured before that option existed is configured again).
configure() {
    dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ] || ! grep -qx 'TVK9_WERROR:BOOL=ON' "$dir/CMakeCache.txt"; then
        cmake -S "$ROOT" -B "$dir" -G Ninja -DTVK9_WERROR=ON "$@"
    fi
}

build() {
    need $BASE_PACKAGES $BENCH_PACKAGES $INSTALL_FILES_PACKAGES
    configure "$BUILD_DIR"
    cmake --build "$BUILD_DIR" -j "$JOBS"
}

# The tests once more in an optimised build (-O3) of its own, where the compiler sees more.
release_test() {
    need $BASE_PACKAGES $BENCH_PACKAGES $INSTALL_FILES_PACKAGES
    configure "$BUILD_DIR-release" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$BUILD_DIR-release" -j "$JOBS"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR-release" --output-on-failure -j "$JOBS" "$@"
}

# The Debian package, built as a distribution builds: optimised, with Debian's hardening flags,
# without the tests, in a folder of its own. Leaves build/tvk9-programmer_VERSION_ARCH.deb.
package() {
    need $BASE_PACKAGES $INSTALL_FILES_PACKAGES $PACKAGE_PACKAGES
    DEB_BUILD_MAINT_OPTIONS=hardening=+all
    export DEB_BUILD_MAINT_OPTIONS
    CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
        configure "$BUILD_DIR-package" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    cmake --build "$BUILD_DIR-package" -j "$JOBS"
    mkdir -p "$BUILD_DIR"
    rm -f "$BUILD_DIR"/tvk9-programmer_*.deb
    cpack --config "$BUILD_DIR-package/CPackConfig.cmake" -B "$BUILD_DIR" >"$BUILD_DIR-package/cpack.log" ||
        { cat "$BUILD_DIR-package/cpack.log"; exit 1; }
    DEB=$(ls "$BUILD_DIR"/tvk9-programmer_*.deb)
    echo "package: $DEB"
}

# The serial component's threads, once more under ThreadSanitizer, in a small build of its own.
tsan() {
    configure "$BUILD_DIR-tsan" -DTVK9_CORE_ONLY=ON -DTVK9_SANITIZER=thread -DCMAKE_BUILD_TYPE=Debug
    cmake --build "$BUILD_DIR-tsan" -j "$JOBS" --target serial_tests
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --test-dir "$BUILD_DIR-tsan" -L serial --output-on-failure -j "$JOBS"
}

# configure_windows DIR [CMAKE ARGS...]: a build for 64-bit Windows with mingw-w64, with the
# native window (a folder configured before the window existed was a core-only build).
configure_windows() {
    dir=$1
    shift
    configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" -DTVK9_FRONT_END=win32 "$@"
    if ! grep -qx 'TVK9_FRONT_END:STRING=win32' "$dir/CMakeCache.txt"; then
        cmake -S "$ROOT" -B "$dir" -DTVK9_CORE_ONLY=OFF -DTVK9_FRONT_END=win32
    fi
}

# The programs for 64-bit Windows (tvk9-programmer.exe with its native window, tvk9-settings.exe,
# tvk9-cli.exe) and their tests, in a build of their own. The tests against simulated sensors use
# this machine's tvk9-devsim from ./do build.
windows() {
    need cmake ninja-build $WINDOWS_PACKAGES
    configure_windows "$BUILD_DIR-windows" -DTVK9_NATIVE_DEVSIM="$ROOT/$BUILD_DIR/bin/tvk9-devsim"
    cmake --build "$BUILD_DIR-windows" -j "$JOBS"
}

# The Windows setup and the portable zip, made of an optimised build of the programs alone, in a
# folder of its own; both are left in build-windows/, where the Windows tests take them from.
windows_package() {
    need cmake ninja-build $WINDOWS_PACKAGES $WINDOWS_PACKAGE_PACKAGES
    out="$BUILD_DIR-windows"
    configure_windows "$BUILD_DIR-windows-release" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DTVK9_WINDOWS_PACKAGE_DIR="$ROOT/$out"
    mkdir -p "$out"
    rm -f "$out"/tvk9-programmer-*-win64-setup.exe "$out"/tvk9-programmer-*-win64.zip
    cmake --build "$BUILD_DIR-windows-release" -j "$JOBS" --target windows_package
    echo "Windows packages:" "$out"/tvk9-programmer-*-win64-setup.exe "$out"/tvk9-programmer-*-win64.zip
}

# The Windows tests under Wine, in a prefix made afresh for the run; then the cases that were
# skipped there and why, which CTest shows nowhere for a test that passes.
windows_test() {
    windows
    started=$(date +%s)
    rc=0
    ctest --test-dir "$BUILD_DIR-windows" --output-on-failure -j "$JOBS" "$@" || rc=$?
    skipped="$BUILD_DIR-windows/wine-skipped.txt"
    if [ -s "$skipped" ]; then
        echo "Skipped under Wine:"
        sed 's/^/  /' "$skipped"
    fi
    echo "Windows tests under Wine: $(($(date +%s) - started)) s"
    return $rc
}

# need_display COMMAND: the windows need a display; say how to get one when there is none.
need_display() {
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "no display: run it on a virtual one with  xvfb-run -a ./do $1  (needs: $SHOW_PACKAGES)" >&2
        exit 1
    fi
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
build)
    build
    ;;
test)
    need $SHOW_PACKAGES # the window tests run once more on Xvfb
    need_locale de_DE.UTF-8
    build
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS" "$@"
    tsan
    started=$(date +%s)
    release_test "$@"
    echo "Release build and its tests: $(($(date +%s) - started)) s"
    started=$(date +%s)
    package
    sh tests/packaging/check_package.sh "$DEB" "$BUILD_DIR-package/bin"
    echo "package and its checks: $(($(date +%s) - started)) s"
    started=$(date +%s)
    windows_package
    echo "Windows setup and zip: $(($(date +%s) - started)) s"
    windows_test "$@"
    ;;
package)
    package
    ;;
windows)
    windows
    ;;
windows-package)
    windows_package
    ;;
bench)
    # ./do bench [PROGRAM...]: the benchmark programs of build/bench (default: all), then one
    # table of their figures beside the peers'. Each program's own output is kept in
    # build/bench/logs/; TVK9_BENCH_ROUNDS sets the rounds per figure.
    need $PEER_PACKAGES
    configure "$BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" >/dev/null # finds peers installed since the first configure
    build
    logs="$BUILD_DIR/bench/logs"
    mkdir -p "$logs"
    [ $# -gt 0 ] || set -- $(cd "$BUILD_DIR/bench" && for f in *; do [ -f "$f" ] && [ -x "$f" ] && echo "$f"; done)
    show=""
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        show="xvfb-run -a"
    fi
    tab=$(printf '\t')
    table="$logs/table"
    printf 'figure%sproject%speer%sratio (project ÷ peer)%sgoal\n---%s---%s---%s---%s---\n' \
        "$tab" "$tab" "$tab" "$tab" "$tab" "$tab" "$tab" "$tab" >"$table"
    failed=""
    for name in "$@"; do
        printf '== %s ... ' "$name"
        if $show "$BUILD_DIR/bench/$name" >"$logs/$name.log" 2>&1; then
            echo "done"
        else
            echo "FAILED:"
            tail -n 20 "$logs/$name.log"
            failed="$failed $name"
        fi
        grep "^FIGURE$tab" "$logs/$name.log" | cut -f 2- >>"$table" || true
    done
    echo
    column -t -s "$tab" -o ' | ' "$table" | sed 's/^/| /; s/ *$/ |/'
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)," \
        "$(nproc) cores, $(. /etc/os-release && echo "$PRETTY_NAME"); logs in $logs/"
    if [ -n "$failed" ]; then
        echo "benchmarks that failed:$failed" >&2
        exit 1
    fi
    ;;
fuzz)
    # ./do fuzz [SECONDS] [TARGET...]: each fuzz target (default: all) for that long (default
    # 60 s each); prints each one's executed units and fails if any of them finds something.
    need cmake ninja-build $FUZZ_PACKAGES
    secs=${1:-60}
    [ $# -gt 0 ] && shift
    CXX=clang++ configure "$BUILD_DIR-fuzz" -DTVK9_CORE_ONLY=ON -DTVK9_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$BUILD_DIR-fuzz" -j "$JOBS" --target fuzz_targets
    [ $# -gt 0 ] || set -- $(cd "$BUILD_DIR-fuzz/bin" && ls fuzz_*)
    failed=""
    for name in "$@"; do
        f="$BUILD_DIR-fuzz/bin/$name"
        corpus="$BUILD_DIR-fuzz/corpus/$name"
        artifacts="$BUILD_DIR-fuzz/artifacts/$name"
        log="$BUILD_DIR-fuzz/$name.log"
        mkdir -p "$corpus" "$artifacts"
        seeds=""
        [ -d "$ROOT/fuzz/seeds/$name" ] && seeds="$ROOT/fuzz/seeds/$name"
        echo "== $name for ${secs}s"
        # shellcheck disable=SC2086
        if "$f" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$artifacts/" \
            "$corpus" $seeds >"$log" 2>&1; then
            grep -E 'stat::number_of_executed_units' "$log" || true
        else
            tail -n 40 "$log"
            echo "== $name: FOUND A FAULT (log $log, input in $artifacts/)" >&2
            failed="$failed $name"
        fi
    done
    if [ -n "$failed" ]; then
        echo "fuzz findings in:$failed" >&2
        exit 1
    fi
    ;;
run)
    # The programmer on this display.
    need_display run
    build
    exec "$BUILD_DIR/bin/tvk9-programmer"
    ;;
demo)
    # The simulated device on a port folder of its own, and the programmer beside it, which
    # finds, reads and writes it; closing the window ends both.
    need_display demo
    build
    demo_dir=$(mktemp -d)
    sim=""
    trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null; rm -rf "$demo_dir"' EXIT
    trap 'exit 130' INT TERM HUP
    mkdir "$demo_dir/ports"
    mkfifo "$demo_dir/sim.out"
    TVK9_PORT_DIR="$demo_dir/ports" "$BUILD_DIR/bin/tvk9-devsim" --log >"$demo_dir/sim.out" &
    sim=$!
    exec 3<"$demo_dir/sim.out"
    # The first line is the port, once it is registered.
    if ! read -r port <&3; then
        echo "tvk9-devsim did not start" >&2
        exit 1
    fi
    echo "simulated device on $port; its frames follow (rx: from the programmer)"
    cat <&3 &
    TVK9_PORT_DIR="$demo_dir/ports" "$BUILD_DIR/bin/tvk9-programmer"
    ;;
*)
    echo "usage: ./do build | test | package | windows | windows-package | run | demo | bench [PROGRAM...] | fuzz [SECONDS] [TARGET...]" >&2
    exit 2
    ;;
esac
