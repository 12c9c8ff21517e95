#!/bin/sh
# The command line on CHD images, for a build whose programs run under an
# emulator (the Windows build under Wine): info names the container, its codecs
# and track, and export gives the logo of the image the CHD was made of, for a
# CD and a DVD. The CHDs are make_chd_kinds.sh's, made with chdman on Linux.
# Usage: chd_reading.sh EMULATOR TOLVANE CHD_KINDS
# Exit status 77 (skipped) when there are no CHDs, unless TOLVANE_REQUIRE_TOOLS=1.
set -eu
emulator=$1
tolvane=$2
kinds=$3
export WINEDEBUG=-all
if [ ! -f "$kinds/kinds.txt" ]; then
    echo "no $kinds/kinds.txt (the test ChdKinds.Files makes it with chdman)"
    [ "${TOLVANE_REQUIRE_TOOLS:-}" = 1 ] && exit 1
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$kinds/cd-mode2.chd" "$kinds/dvd.chd" "$kinds/mode2.bin" "$kinds/mode2.cue" "$kinds/dvd.iso" "$work"
cd "$work"
run() { "$emulator" "$tolvane" "$@"; }
fail() { echo "CHD reading: $*" >&2; exit 1; }

run info cd-mode2.chd > out.txt || fail "info failed: $(cat out.txt)"
tr -d '\r' < out.txt > info.txt  # the console's line ends
grep -qx "CHD:     codecs cdlz cdzl cdfl, hunks of 19584 bytes; the disc is its track 1 (MODE2_RAW), its first data track" \
    info.txt || fail "info says: $(cat info.txt)"
grep -qx "Serial:  SLUS_200.01" info.txt || fail "info names no serial: $(cat info.txt)"
run info --json dvd.chd | grep -q '"container": "chd"' || fail "info --json names no CHD container"
for pair in cd-mode2.chd:mode2.cue dvd.chd:dvd.iso; do
    chd=${pair%%:*} source=${pair#*:}
    run export "$chd" "$chd.bmp" > out.txt || fail "export of $chd failed: $(cat out.txt)"
    run export "$source" "$source.bmp" > out.txt || fail "export of $source failed: $(cat out.txt)"
    cmp -s "$chd.bmp" "$source.bmp" || fail "the logo of $chd is not that of $source"
done
echo "CHD reading: passed"
