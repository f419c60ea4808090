#!/bin/sh
# The Windows setup and zip as they leave ./do windows-package, read with binutils for Windows:
#   check_windows_package.sh SETUP ZIP VERSION OBJDUMP WINDRES FILE...
# The setup: at most 8 MiB, a 64-bit program, its version resource. The zip: one folder
# holding FILE... and nothing else; each program in it 64-bit, stripped, and importing only
# DLLs of Windows itself (the C runtime and the compiler's libraries are linked in).
set -eu
setup=$1
zip=$2
version=$3
objdump=$4
windres=$5
shift 5

failures=0
fail() {
    echo "Windows package check FAILED: $*" >&2
    failures=$((failures + 1))
}
for package in "$setup" "$zip"; do
    [ -f "$package" ] || { echo "no $package: ./do windows-package makes it" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size=$(wc -c <"$setup")
[ "$size" -le $((8 * 1024 * 1024)) ] || fail "the setup has $size bytes, more than 8 MiB"
# x86-64 PE: what a Target amd64-unicode setup is.
"$objdump" -f "$setup" | grep -q 'file format pei-x86-64' || fail "the setup is not a 64-bit program"
"$windres" -i "$setup" -O rc >"$work/setup.rc" || fail "windres cannot read the setup's resources"
numbers="$(echo "$version" | sed "s/\./, /g"), 0"
for line in "PRODUCTVERSION $numbers" "FILEVERSION $numbers" \
    "VALUE \"ProductName\", \"TVK9 Programmer\"" "VALUE \"ProductVersion\", \"$version\""; do
    grep -qF "$line" "$work/setup.rc" || fail "the setup's version resource lacks $line"
done

folder=$(basename "$zip" .zip)
expected=$(for file in "$@"; do echo "$folder/$file"; done; echo "$folder/")
[ "$(unzip -Z1 "$zip" | sort)" = "$(echo "$expected" | sort)" ] ||
    fail "the zip holds '$(unzip -Z1 "$zip" | tr '\n' ' ')', not '$(echo $expected)'"
unzip -q "$zip" -d "$work"

# What every Windows 10 and 11 has in System32.
system='^(advapi32|bcrypt|cfgmgr32|comctl32|comdlg32|crypt32|dwmapi|gdi32|imm32|kernel32|msvcrt|ntdll|ole32|oleaut32|setupapi|shcore|shell32|shlwapi|ucrtbase|user32|uxtheme|version|winmm|ws2_32)\.dll$'
for file in "$@"; do
    case "$file" in *.exe) ;; *) continue ;; esac
    exe="$work/$folder/$file"
    [ -f "$exe" ] || continue
    "$objdump" -f "$exe" | grep -q 'file format pei-x86-64' || fail "$file is not a 64-bit program"
    ! "$objdump" -h "$exe" | grep -q ' \.debug_' || fail "$file keeps its debug information"
    "$objdump" -t "$exe" | grep -qx 'no symbols' || fail "$file keeps its symbol table"
    "$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' >"$work/imports"
    [ -s "$work/imports" ] || fail "$file imports no DLL at all"
    foreign=$(tr 'A-Z' 'a-z' <"$work/imports" | grep -vE "$system" || true)
    [ -z "$foreign" ] || fail "$file imports DLLs that Windows does not have: $(echo $foreign)"
done

if [ "$failures" -gt 0 ]; then
    echo "Windows package check: $failures failure(s)" >&2
    exit 1
fi
echo "Windows package check: $(basename "$setup") $size bytes; $(basename "$zip") holds $# files"
