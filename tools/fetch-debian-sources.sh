#!/bin/sh
# Fetches Debian's source packages of the libraries the Windows build compiles
# itself, each of the same version as its installed -dev package, and unpacks
# each one's upstream tarball into FOLDER/SOURCE-PACKAGE/source and its Debian
# copyright file (the notices that go with the programs) into
# FOLDER/SOURCE-PACKAGE/copyright. APT gets a source list, lists folder and
# cache of FOLDER/apt-sources, made from the system's deb entries as deb-src
# ones, so the system's APT configuration is read and left as it is. Quick when
# every source is there already. Needs no root.
#
#   tools/fetch-debian-sources.sh FOLDER DEV-PACKAGE...
#   (e.g. build-windows libspng-dev liblzma-dev libflac-dev)
set -eu

[ $# -ge 2 ] || { echo "usage: $0 FOLDER DEV-PACKAGE..." >&2; exit 2; }
mkdir -p "$1"
folder=$(cd "$1" && pwd)
shift

# The source packages still to fetch, as "package=version" words; each -dev
# package's source and version is what dpkg names as its source.
wanted=""
for dev in "$@"; do
    found=$(dpkg-query -W -f='${db:Status-Status} ${source:Package} ${source:Version}' "$dev" 2>/dev/null || true)
    case $found in
        "installed "?*" "?*) found=${found#installed } ;;
        *) echo "$0: $dev is not installed (tools/install-deps.sh installs it)" >&2; exit 1 ;;
    esac
    name=${found% *} version=${found#* }
    if [ -f "$folder/$name/copyright" ] && [ "$(cat "$folder/$name/source.version" 2>/dev/null)" = "$version" ]; then
        continue
    fi
    wanted="$wanted $name=$version"
done
[ -n "$wanted" ] || exit 0

apt=$folder/apt-sources
rm -rf "$apt"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/download"

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
echo "Fetching Debian's source packages$wanted into $folder"
# As root, APT downloads as its own user, who must be able to write here.
[ "$(id -u)" -ne 0 ] || ! id _apt >/dev/null 2>&1 || chown _apt "$apt/download"
# A source without source packages makes update fail; apt-get source then
# says whether the ones that answered hold the packages.
apt-get "$@" update || echo "$0: some source indices could not be fetched (above); looking in the others" >&2
for source in $wanted; do
    name=${source%=*} version=${source#*=}
    (cd "$apt/download" && apt-get "$@" --download-only source "$source")
    rm -rf "${folder:?}/$name"
    mkdir -p "$folder/$name/source"
    upstream=${version#*:}
    upstream=${upstream%-*}
    tar -xf "$apt/download/${name}_$upstream.orig.tar."* -C "$folder/$name/source" --strip-components=1
    # The packaging's copyright file: every notice of the upstream source, in one place.
    tar -xOf "$apt/download/${name}_${version#*:}.debian.tar."* debian/copyright >"$folder/$name/copyright"
    echo "$version" >"$folder/$name/source.version"
done
rm -rf "$apt"
