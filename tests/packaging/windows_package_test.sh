#!/bin/sh
# windows_package_test.sh files|setup|zip SETUP ZIP VERSION START ICON FILE...: what ./do
# windows-package made. files: the setup (at most 8 MiB, 64-bit, its version resource) and the zip
# (one folder of FILE...; programs stripped, importing only DLLs of Windows), read with $OBJDUMP
# and $WINDRES. Under Wine, setup: installed silently, into another folder with /D=, over itself,
# removed with its QuietUninstallString; zip: its programs run from a fresh folder.
set -eu
mode=$1 setup=$2 zip=$3 version=$4 start=$5 icon=$6
shift 6
files=$*
programs=$(printf '%s\n' "$@" | sed -n 's/\.exe$//p')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -f "$setup" ] && unzip -q "$zip" -d "$work" ||
    { echo "./do windows-package makes $setup, $zip"; exit 1; }
folder=$(basename "$zip" .zip)
unpacked=$work/$folder
failures=0
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}
# wine PROGRAM ARGS...: under Wine; $work/out its output, without carriage returns; $rc its code.
wine() {
    rc=0 what=$*
    "$TVK9_WINE" "$@" >"$work/out" 2>&1 </dev/null || rc=$?
    sed -i 's/\r$//' "$work/out"
}
# says TEXT: the last program ended with 0 and said TEXT.
says() {
    [ "$rc" -eq 0 ] && [ "$(cat "$work/out")" = "$1" ] ||
        fail "$what said '$(cat "$work/out")' ($rc), not '$1'"
}

case $mode in
files)
    [ "$(wc -c <"$setup")" -le $((8 * 1024 * 1024)) ] || fail "the setup is larger than 8 MiB"
    "$OBJDUMP" -f "$setup" | grep -q 'file format pei-x86-64' || fail "the setup is not 64-bit"
    "$WINDRES" -i "$setup" -O rc >"$work/rc" || fail "the setup has no resources"
    grep -qF "PRODUCTVERSION $(echo "$version" | sed 's/\./, /g'), 0" "$work/rc" &&
        grep -qF "\"ProductVersion\", \"$version\"" "$work/rc" || fail "the setup's version is not $version"
    [ "$(unzip -Z1 "$zip" | sort)" = "$(printf "$folder/%s\n" '' $files | sort)" ] ||
        fail "the zip holds $(unzip -Z1 "$zip" | tr '\n' ' ')"
    # What every Windows 10 and 11 has in System32.
    system='(advapi32|bcrypt|comctl32|comdlg32|dwmapi|gdi32|imm32|kernel32|msvcrt|ntdll|ole32|'
    system=$system'oleaut32|shcore|shell32|shlwapi|ucrtbase|user32|uxtheme|version|winmm|ws2_32)\.dll'
    for program in $programs; do
        exe=$unpacked/$program.exe
        "$OBJDUMP" -t "$exe" | grep -qx 'no symbols' || fail "$program.exe is not stripped"
        foreign=$("$OBJDUMP" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' |
            grep -vxE "$system" || true)
        [ -z "$foreign" ] || fail "$program.exe imports $foreign, which Windows does not have"
    done
    ;;
setup)
    key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TVK9 Programmer'
    link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TVK9 Programmer.lnk"
    host() { printf '%s/drive_c/%s' "$WINEPREFIX" "$(printf '%s' "${1#C:\\}" | tr '\\' /)"; }
    entries() {
        wine reg query "${key%\\*}"
        grep -c 'Uninstall\\TVK9' "$work/out" || true
    }
    # installed C:\FOLDER: FILE... (the zip's) and the uninstaller there, the Start menu entry
    # (a shell link keeps its target's path as text), one uninstall entry.
    installed() {
        dir=$(host "$1")
        [ "$(ls -A "$dir" | sort)" = "$(printf '%s\n' $files uninstall.exe | sort)" ] ||
            fail "$1 holds $(ls -A "$dir")"
        for file in $files; do
            cmp -s "$unpacked/$file" "$dir/$file" || fail "$1\\$file is not the zip's"
        done
        strings -a "$link" | grep -qxF "$1\\$start" || fail "no Start menu entry opens $1\\$start"
        wine reg query "$key"
        grep -v -e '^$' -e '^HKEY' -e EstimatedSize "$work/out" | sort >"$work/entry"
        sort <<EOF | diff - "$work/entry" || fail "the uninstall entry is not as above"
    DisplayIcon    REG_SZ    $1\\$icon
    DisplayName    REG_SZ    TVK9 Programmer
    DisplayVersion    REG_SZ    $version
    InstallLocation    REG_SZ    $1
    NoModify    REG_DWORD    0x1
    NoRepair    REG_DWORD    0x1
    Publisher    REG_SZ    The TVK9 Programmer developers
    QuietUninstallString    REG_SZ    "$1\\uninstall.exe" /S
    UninstallString    REG_SZ    "$1\\uninstall.exe"
EOF
        size=$(sed -n 's/^    EstimatedSize    REG_DWORD    //p' "$work/out")
        off=$((${size:-0} - $(cat "$dir"/* | wc -c) / 1024)) # KiB, each file rounded on its own
        [ "$off" -ge -6 ] && [ "$off" -le 6 ] || fail "EstimatedSize $((${size:-0})) KiB is $off KiB off"
        [ "$(entries)" -eq 1 ] || fail "not one uninstall entry"
    }
    default='C:\Program Files\TVK9 Programmer' moved='C:\Tools\TVK9 Programmer'
    wine "$setup" /S; says ''
    installed "$default"
    for program in $programs; do
        wine "$default\\$program.exe" --version
        says "$program $version"
    done
    # /D= takes the rest of the command line, as a command prompt passes it on (Wine would quote it).
    wine cmd /c "Z:$(echo "$setup" | tr / '\\') /S /D=$moved"; says ''
    installed "$moved"
    [ ! -e "$(host "$default")" ] || fail "$default stayed after the move"
    # Over the installed version, without /D=: where that one is.
    wine "$setup" /S; says ''
    installed "$moved"
    # The uninstaller leaves a copy of itself running (%TEMP%\~nsuN.tmp): up to 30 s for it.
    quiet=$(sed -n 's/^ *QuietUninstallString *REG_SZ *//p' "$work/entry")
    uninstaller=${quiet#\"}
    wine "${uninstaller%%\"*}" ${quiet##*\" }; says ''
    runs() {
        for p in /proc/[0-9]*; do
            grep -qaF '\~nsu' "$p/cmdline" && grep -qazxF "WINEPREFIX=$WINEPREFIX" "$p/environ" &&
                return 0
        done 2>/dev/null
        return 1
    }
    until=$(($(date +%s) + 30))
    while { [ -e "$(host "$moved")" ] || [ -e "$link" ] || runs || [ "$(entries)" -ne 0 ]; } &&
        [ "$(date +%s)" -lt $until ]; do
        sleep 0.2
    done
    ! runs || fail "the uninstaller still runs after 30 s"
    [ ! -e "$(host "$moved")" ] || fail "$moved is left: $(ls -A "$(host "$moved")")"
    [ ! -e "$link" ] || fail "the Start menu entry is left"
    [ "$(entries)" -eq 0 ] || fail "the uninstall entry is left"
    ;;
zip)
    for program in $programs; do
        wine "$unpacked/$program.exe" --version
        says "$program $version"
    done
    ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "the Windows $mode: all checks passed"
