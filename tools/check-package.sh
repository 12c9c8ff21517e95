#!/bin/sh
# Checks the packages make package built, as Debian and software centres will
# read them: the .deb with lintian, failing on its errors and warnings (its info
# tags are shown only); its desktop entry with desktop-file-validate and its
# AppStream metadata with appstreamcli, failing on anything reported, hints
# included; its zsh completion in a folder the system's zsh searches; the zip
# holding the programs, the licences (with the notices of the libraries linked
# in) and the README.
# Usage: check-package.sh PACKAGE.deb PACKAGE.zip
set -eu
deb=$1
zip=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=""
fail() { echo "check-package: $*" >&2; failed=yes; }

echo "== lintian $deb"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian reports errors or warnings"

root=$work/root
dpkg-deb -x "$deb" "$root"
desktops=$(find "$root/usr/share/applications" -name '*.desktop')
[ -n "$desktops" ] || fail "no desktop entry in $deb"
for desktop in $desktops; do
    echo "== desktop-file-validate ${desktop#"$root"}"
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate fails"
    [ -z "$out" ] || { echo "$out"; fail "desktop-file-validate reports on ${desktop#"$root"}"; }
done
metainfos=$(find "$root/usr/share/metainfo" -name '*.metainfo.xml')
[ -n "$metainfos" ] || fail "no AppStream metadata in $deb"
for metainfo in $metainfos; do
    echo "== appstreamcli validate --pedantic --no-net ${metainfo#"$root"}"
    out=$(appstreamcli validate --pedantic --no-net --no-color "$metainfo" 2>&1) || { echo "$out"; fail "appstreamcli fails"; }
    echo "$out"
    echo "$out" | grep -q '^[EWIP]: ' && fail "appstreamcli reports on ${metainfo#"$root"}"
done
# The metadata and the desktop entry it launches, as installed together.
echo "== appstreamcli validate-tree --pedantic --no-net"
out=$(appstreamcli validate-tree --pedantic --no-net --no-color "$root" 2>&1) || { echo "$out"; fail "appstreamcli validate-tree fails"; }
echo "$out"
echo "$out" | grep -q '^[EWIP]: ' && fail "appstreamcli validate-tree reports"

fpath=$(zsh -fc 'print -l $fpath')
completions=$(cd "$root" && find . -name _tolvane | sed 's/^\.//')
[ -n "$completions" ] || fail "no zsh completion in $deb"
for completion in $completions; do
    echo "$fpath" | grep -qx "$(dirname "$completion")" || fail "zsh does not look in $(dirname "$completion")"
done

echo "== $zip"
cmake -E tar tf "$zip" > "$work/zip.txt"
for file in tolvane.exe tolvane-editor.exe ettbmp.hed LICENSE.txt LICENSE-mingw-w64.txt README.md CHANGELOG.md; do
    grep -q "^[^/]*/$file\$" "$work/zip.txt" || fail "$zip holds no $file"
done
# The licence carries the notices of every library linked into the programs.
zip_path=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
mkdir "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$zip_path")
for library in libspng liblzma libFLAC zlib; do
    grep -q "^==== $library" "$work"/zip/*/LICENSE.txt || fail "$zip's LICENSE.txt holds no notices of $library"
done

[ -z "$failed" ] || exit 1
echo "check-package: $deb and $zip pass"
