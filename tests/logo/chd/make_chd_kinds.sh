#!/bin/sh
# The CHD files the CHD tests read, made on the build machine with chdman (from
# Debian's mame-tools) of our own discs, which WRITER writes first (under
# EMULATOR when one is given: the Windows build's writer runs under Wine). The
# Linux and the Windows tests read the same files: chdman runs on Linux only.
#
# Writes into FOLDER the discs, KIND.chd for each kind the tests name, and
# kinds.txt last, when every CHD is made.
#
# Usage: make_chd_kinds.sh FOLDER [EMULATOR] WRITER
# Exit status 77 (skipped) when chdman is missing, unless TOLVANE_REQUIRE_TOOLS=1.
set -eu
[ $# -ge 2 ] || { echo "usage: $0 FOLDER [EMULATOR] WRITER" >&2; exit 2; }
folder=$1
shift
if ! command -v chdman >/dev/null 2>&1; then
    echo "chdman is not on PATH (make test installs it: mame-tools)"
    [ "${TOLVANE_REQUIRE_TOOLS:-}" = 1 ] && exit 1
    exit 77
fi
rm -rf "$folder"
mkdir -p "$folder"
WINEDEBUG=-all "$@" "$folder"
cd "$folder"
made=""
chd() {
    chdman "$@" -f >chdman.log 2>&1 || { cat chdman.log; echo "failed: chdman $*" >&2; exit 1; }
}
kind() {
    name=$1
    shift
    chd "$@" -o "$name.chd"
    made="$made $name"
}

kind cd-mode2 createcd -i mode2.cue
kind cd-mode2-cdzl createcd -i mode2.cue -c cdzl
kind cd-mode2-cdfl createcd -i mode2.cue -c cdfl
kind cd-mode2-uncompressed createcd -i mode2.cue -c none
kind cd-mode1 createcd -i mode1.cue
kind cd-iso createcd -i game.iso
kind cd-audio-first createcd -i mixed.cue
# A DVD: chdman 0.251 has no createdvd, so its raw form with the metadata entry,
# compressed after (addmeta refuses a compressed CHD).
chd createraw -i dvd.iso -o dvd-raw.chd --unitsize 2048 --hunksize 4096 -c none
chdman addmeta -i dvd-raw.chd --tag "DVD " --valuetext "" >chdman.log 2>&1 || { cat chdman.log; exit 1; }
kind dvd copy -i dvd-raw.chd -c lzma,zlib,huff,flac
for codec in lzma zlib huff flac; do
    kind "dvd-$codec" copy -i dvd-raw.chd -c $codec
done
kind dvd-uncompressed copy -i dvd-raw.chd -c none
kind raw-2048-units createraw -i dvd.iso --unitsize 2048 --hunksize 8192
kind big createcd -i big.iso -c cdzl
# A DVD whose logo is noise, its hunks stored as they are, for the damage cases.
chd createraw -i noise.iso -o noise-raw.chd --unitsize 2048 --hunksize 4096 -c none
chdman addmeta -i noise-raw.chd --tag "DVD " --valuetext "" >chdman.log 2>&1 || { cat chdman.log; exit 1; }
kind noise copy -i noise-raw.chd -c zlib

rm -f dvd-raw.chd noise-raw.chd chdman.log
for name in $made; do echo "$name"; done >kinds.txt
