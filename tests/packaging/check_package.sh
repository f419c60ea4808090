#!/bin/sh
# The Debian package as a user and a distribution see it: its files, its programs run from where
# it is unpacked, and the verdicts of desktop-file-validate, appstreamcli, man and lintian.
#   check_package.sh PACKAGE.deb BIN_DIR
# BIN_DIR: the programs of the build the package was made from; each of them must be packaged.
set -eu
deb=$1
bin_dir=$2

failures=0
fail() {
    echo "package check FAILED: $*" >&2
    failures=$((failures + 1))
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)

has() {
    [ -f "$root/$1" ] || fail "$1 is not in the package"
}

# The programs, each with its man page, each answering --version with the package's version.
programs=""
for program in tvk9-programmer tvk9-cli tvk9-settings tvk9-devsim; do
    [ -x "$bin_dir/$program" ] && programs="$programs $program"
done
case "$programs" in
*tvk9-programmer*tvk9-settings*tvk9-devsim*) ;;
*) fail "the build in $bin_dir lacks programs (it has:$programs)" ;;
esac
for program in $programs; do
    has "usr/bin/$program"
    has "usr/share/man/man1/$program.1.gz"
    [ -x "$root/usr/bin/$program" ] || continue
    said=$("$root/usr/bin/$program" --version 2>&1) || fail "$program --version ended with $?"
    [ "$said" = "$program $version" ] || fail "$program --version said '$said', not '$program $version'"
done
for path in "$root"/usr/bin/*; do
    [ -f "$root/usr/share/man/man1/${path##*/}.1.gz" ] || fail "${path##*/} has no man page"
done
case "$depends" in
*libc6*libqt6widgets6*) ;;
*) fail "Depends lacks what dpkg-shlibdeps finds (libc6, libqt6widgets6): $depends" ;;
esac

# The desktop files.
desktop=usr/share/applications/tvk9-programmer.desktop
metainfo=usr/share/metainfo/io.github.tvk9.programmer.metainfo.xml
has "$desktop"
has "$metainfo"
has usr/share/icons/hicolor/scalable/apps/tvk9-programmer.svg
for size in 16 24 32 48 64 128 256; do
    png=usr/share/icons/hicolor/${size}x$size/apps/tvk9-programmer.png
    has "$png"
    file "$root/$png" | grep -q "PNG image data, $size x $size," || fail "$png is not $size x $size"
done
desktop-file-validate "$root/$desktop" || fail "desktop-file-validate refuses $desktop"
appstreamcli validate --no-net "$root/$metainfo" >"$root/appstream.log" 2>&1 ||
    { cat "$root/appstream.log"; fail "appstreamcli validate refuses $metainfo"; }
grep -q "<release version=\"$version\"" "$root/$metainfo" || fail "$metainfo has no release $version"

# Man pages that man and groff render without a warning.
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man -l --warnings "$page" 2>&1 >/dev/null;
               zcat "$page" | groff -man -ww -z -Tutf8 2>&1)
    [ -z "$warnings" ] || fail "man page ${page##*/}: $warnings"
done

# The udev template: it must match nothing as installed, and hold the rule to copy.
rules=usr/lib/udev/rules.d/70-tvk9.rules
has "$rules"
if [ -f "$root/$rules" ]; then
    ! grep -v '^[[:space:]]*\(#\|$\)' "$root/$rules" || fail "$rules has a rule that is not commented out"
    grep -q '^#SUBSYSTEM=="tty", ATTRS{idVendor}=="VVVV", ATTRS{idProduct}=="PPPP", TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1"$' \
        "$root/$rules" || fail "$rules lacks the rule template"
fi

# The documents Debian asks for.
doc=usr/share/doc/tvk9-programmer
has "$doc/copyright"
has "$doc/changelog.gz"
has "$doc/README.md"
zcat "$root/$doc/changelog.gz" | head -n 1 | grep -q "^tvk9-programmer ($version)" ||
    fail "$doc/changelog.gz does not begin with version $version"

# lintian: no error and no warning (its notes for information are shown).
lint_ok=yes
lint=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || lint_ok=no
printf '%s\n' "$lint" | grep -v 'running with root privileges' || true
[ "$lint_ok" = yes ] || fail "lintian finds errors or warnings (above)"

if [ "$failures" -gt 0 ]; then
    echo "package check: $failures failure(s) in $deb" >&2
    exit 1
fi
echo "package check: $deb is complete and clean ($(echo $programs | wc -w) programs)"
