#!/bin/sh
# Fetches Debian's libspng source package, of the same version as the installed
# libspng-dev, and unpacks its upstream tarball into FOLDER/source: the Windows
# build compiles spng.c from there. APT gets a source list, lists folder and
# cache of FOLDER's own, made from the system's deb entries as deb-src ones, so
# the system's APT configuration is read and left as it is. Needs no root.
#
#   tools/fetch-libspng-source.sh FOLDER
set -eu

[ $# -eq 1 ] || { echo "usage: $0 FOLDER" >&2; exit 2; }
mkdir -p "$1"
folder=$(cd "$1" && pwd)
version=$(dpkg-query -W -f='${db:Status-Status} ${source:Version}' libspng-dev 2>/dev/null || true)
case $version in
    "installed "?*) version=${version#installed } ;;
    *) echo "$0: libspng-dev is not installed (tools/install-deps.sh installs it)" >&2; exit 1 ;;
esac
if [ -f "$folder/source/spng/spng.c" ] && [ "$(cat "$folder/source.version" 2>/dev/null)" = "$version" ]; then
    exit 0
fi

apt=$folder/apt
rm -rf "$apt" "$folder/source" "$folder/source.version"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/download" "$folder/source"

system_list="" system_parts=""
eval "$(apt-config shell system_list Dir::Etc::SourceList/f system_parts Dir::Etc::SourceParts/d)"
# One-line entries: "deb [options] URI suite components" becomes "deb-src ...".
for file in "$system_list" "$system_parts"*.list; do
    [ -f "$file" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file"
done >"$apt/sources.list"
# deb822 stanzas (blank-line separated) whose Types name deb, with Types: deb-src.
for file in "$system_parts"*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
             deb = 0; enabled = 1
             for (i = 1; i <= NF; i++) {
                 if (tolower($i) ~ /^types:/ && (" " substr($i, 7) " ") ~ /[[:space:]]deb[[:space:]]/) deb = 1
                 if (tolower($i) ~ /^enabled:[[:space:]]*no/) enabled = 0
             }
             if (!deb || !enabled) next
             for (i = 1; i <= NF; i++) print (tolower($i) ~ /^types:/ ? "Types: deb-src" : $i)
             print ""
         }' "$file"
done >"$apt/sources.list.d/system.sources"
if [ ! -s "$apt/sources.list" ] && [ ! -s "$apt/sources.list.d/system.sources" ]; then
    echo "$0: the system's APT configuration ($system_list, $system_parts) names no deb entries" >&2
    exit 1
fi

set -- -q -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d" \
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
echo "Fetching Debian's libspng $version source package into $folder"
# As root, APT downloads as its own user, who must be able to write here.
[ "$(id -u)" -ne 0 ] || ! id _apt >/dev/null 2>&1 || chown _apt "$apt/download"
# A source without source packages makes update fail; apt-get source then
# says whether the ones that answered hold libspng.
apt-get "$@" update || echo "$0: some source indices could not be fetched (above); looking in the others" >&2
(cd "$apt/download" && apt-get "$@" --download-only source "libspng=$version")
tar -xf "$apt/download"/libspng_*.orig.tar.* -C "$folder/source" --strip-components=1
echo "$version" >"$folder/source.version"
rm -rf "$apt/lists" "$apt/cache"
