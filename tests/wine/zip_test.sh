#!/bin/sh
# zip_test.sh ZIP VERSION PROGRAM...: the portable zip unpacked into a fresh folder, its programs
# run from there under Wine, with nothing installed: each answers --version, tvk9-settings.exe
# makes and reads back the README's example file, tvk9-cli.exe says that a port is not there.
set -eu
: "${WINEPREFIX:?}" "${TVK9_WINE:?}"
export WINEPREFIX
zip=$1
version=$2
shift 2
[ -f "$zip" ] || { echo "no $zip: ./do windows-package makes it"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
folder=$(echo "$work"/*)
failures=0
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}
# run PROGRAM ARGS...: PROGRAM.exe of the unpacked folder; $work/out its output, $rc its code.
run() {
    rc=0
    program=$1
    shift
    "$TVK9_WINE" "$folder/$program.exe" "$@" >"$work/out.raw" 2>&1 </dev/null || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
}

for program in "$@"; do
    run "$program" --version
    [ "$rc" -eq 0 ] && [ "$(cat "$work/out")" = "$program $version" ] ||
        fail "$program --version said '$(cat "$work/out")' ($rc), not '$program $version'"
done

# The vendor's example values make the settings frame that the README shows.
printf 'vexnoc\n0.7\n-0.05\n1.5\n2.55\n25.6\n-0.1\n1\n' |
    "$TVK9_WINE" "$folder/tvk9-settings.exe" encode -o "Z:$work/example.tvk" >"$work/out" 2>&1 ||
    fail "tvk9-settings encode: $(cat "$work/out")"
run tvk9-settings decode --frame "Z:$work/example.tvk"
[ "$(cat "$work/out")" = 'AA 02 01 11 09 14 19 00 FF F3' ] ||
    fail "tvk9-settings decode --frame said '$(cat "$work/out")'"

run tvk9-cli read --port COM250
[ "$rc" -eq 4 ] && grep -qF 'COM250 does not exist' "$work/out" ||
    fail "tvk9-cli read --port COM250 ended with $rc: $(cat "$work/out")"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "the zip's programs run from $folder: all checks passed"
