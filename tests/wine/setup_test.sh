#!/bin/sh
# setup_test.sh SETUP ZIP VERSION PUBLISHER START ICON FILE...: the Windows setup under Wine, in
# the test prefix, as an administrator deploys it: installed silently, installed again over
# itself, moved to another folder with /D=, removed with the uninstall entry's
# QuietUninstallString. Each time the installation's files (FILE..., the uninstaller and nothing
# else; the same bytes as in the zip ZIP), its Start menu entry (opening START), its uninstall
# entry (read back with reg query) and each program's --version; at the end, nothing left.
set -eu
: "${WINEPREFIX:?}" "${TVK9_WINE:?}"
export WINEPREFIX
setup=$1
zip=$2
version=$3
publisher=$4
start=$5
icon=$6
shift 6
files=$*

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TVK9 Programmer'
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TVK9 Programmer.lnk"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}
for package in "$setup" "$zip"; do
    [ -f "$package" ] || { echo "no $package: ./do windows-package makes it"; exit 1; }
done
unzip -q "$zip" -d "$work/zip"
unpacked=$(echo "$work"/zip/*)

# host C:\FOLDER: the folder of this machine that is FOLDER in the prefix.
host() { printf '%s/drive_c/%s' "$WINEPREFIX" "$(printf '%s' "${1#C:\\}" | tr '\\' /)"; }
# wine PROGRAM ARGS...: under Wine; output in $work/out without carriage returns, $rc its code.
wine() {
    rc=0
    "$TVK9_WINE" "$@" >"$work/out.raw" 2>&1 </dev/null || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
}
# value NAME: the uninstall entry's value NAME as reg query shows it ("REG_SZ    text").
value() {
    sed -n "s/^    $1    //p" "$work/entry"
}
# entries: the uninstall entries named after the programmer.
entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    grep -c 'Uninstall\\TVK9' "$work/out" || true
}

# installed C:\FOLDER: everything an installation in FOLDER has, and one uninstall entry.
installed() {
    folder=$1
    dir=$(host "$folder")
    expected=$(printf '%s\n' $files uninstall.exe | sort)
    [ "$(ls -A "$dir" 2>/dev/null | sort)" = "$expected" ] ||
        fail "$folder holds '$(ls -A "$dir" 2>/dev/null | tr '\n' ' ')', not '$(echo $expected)'"
    for file in $files; do
        cmp -s "$unpacked/$file" "$dir/$file" || fail "$folder\\$file is not the zip's $file"
    done
    # A shell link keeps the target's path as text, as well as its item list.
    if [ ! -f "$link" ]; then
        fail "no Start menu entry $link"
    elif ! strings -a "$link" | grep -qxF "$folder\\$start"; then
        fail "the Start menu entry does not open $folder\\$start: $(strings -a "$link" | tr '\n' ' ')"
    fi

    wine reg query "$key"
    [ "$rc" -eq 0 ] || { fail "no uninstall entry $key"; return; }
    cp "$work/out" "$work/entry"
    while read -r name expected; do
        said=$(value "$name")
        [ "$said" = "$expected" ] || fail "$name is '$said', not '$expected'"
    done <<EOF
DisplayName REG_SZ    TVK9 Programmer
DisplayVersion REG_SZ    $version
Publisher REG_SZ    $publisher
DisplayIcon REG_SZ    $folder\\$icon
InstallLocation REG_SZ    $folder
UninstallString REG_SZ    "$folder\\uninstall.exe"
QuietUninstallString REG_SZ    "$folder\\uninstall.exe" /S
EOF
    # KiB, as Windows counts them; each file may be rounded on its own.
    size=$(value EstimatedSize)
    bytes=$(cat "$dir"/* 2>/dev/null | wc -c)
    case "$size" in
    "REG_DWORD    0x"*)
        kib=$((${size#REG_DWORD    }))
        [ $((kib * 1024 - bytes)) -le 7168 ] && [ $((bytes - kib * 1024)) -le 7168 ] ||
            fail "EstimatedSize is $kib KiB, the files $bytes bytes"
        ;;
    *) fail "EstimatedSize is '$size', not a REG_DWORD" ;;
    esac
    [ "$(entries)" -eq 1 ] || fail "$(entries) uninstall entries, not one"
}

echo "== setup /S"
wine "$setup" /S
[ "$rc" -eq 0 ] || fail "setup /S ended with $rc: $(cat "$work/out")"
default='C:\Program Files\TVK9 Programmer'
installed "$default"
for file in $files; do
    case "$file" in *.exe) ;; *) continue ;; esac
    wine "$default\\$file" --version
    [ "$rc" -eq 0 ] && [ "$(cat "$work/out")" = "${file%.exe} $version" ] ||
        fail "$file --version said '$(cat "$work/out")' ($rc), not '${file%.exe} $version'"
done

echo "== setup /S over the installation"
wine "$setup" /S
[ "$rc" -eq 0 ] || fail "setup /S over the installation ended with $rc"
installed "$default"

# /D= is the last option and takes the rest of the command line, spaces and all, as a Windows
# command prompt passes it on; Wine's own command line would quote it.
moved='C:\Tools\TVK9 Programmer'
echo "== setup /S /D=$moved"
wine cmd /c "$(printf 'Z:%s' "$setup" | tr / '\\') /S /D=$moved"
[ "$rc" -eq 0 ] || fail "setup /S /D=$moved ended with $rc"
installed "$moved"
[ ! -e "$(host "$default")" ] || fail "the installation in $default stayed after the move"

# The uninstaller copies itself to %TEMP%\~nsuN.tmp and leaves that copy running: the test waits
# until the installation is gone and no such copy runs in this prefix, 30 s at most.
echo "== QuietUninstallString"
quiet=$(value QuietUninstallString)
quiet=${quiet#REG_SZ    }
uninstaller=${quiet#\"}
uninstaller=${uninstaller%%\"*}
wine "$uninstaller" ${quiet##*\" }
[ "$rc" -eq 0 ] || fail "$quiet ended with $rc"
uninstaller_runs() {
    for process in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$process/cmdline" | grep -qF '\~nsu' &&
            tr '\0' '\n' 2>/dev/null <"$process/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            return 0
    done
    return 1
}
left() {
    [ -e "$(host "$moved")" ] || [ -e "$link" ] || uninstaller_runs && return 0
    wine reg query "$key"
    [ "$rc" -ne 0 ] || return 0
    return 1
}
tries=150
while left && [ "$tries" -gt 0 ]; do
    tries=$((tries - 1))
    sleep 0.2
done
! uninstaller_runs || fail "the uninstaller still runs after 30 s"
[ ! -e "$(host "$moved")" ] || fail "$moved is still there: $(ls -A "$(host "$moved")" | tr '\n' ' ')"
[ ! -e "$link" ] || fail "the Start menu entry is still there"
wine reg query "$key"
[ "$rc" -ne 0 ] || fail "the uninstall entry is still there"
[ "$(entries)" -eq 0 ] || fail "$(entries) uninstall entries are left"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "the setup: installed, installed over, moved and removed, all checks passed"
