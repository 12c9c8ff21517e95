#!/bin/sh
# The command line's edit cycle, for a build whose programs run under an
# emulator (the Windows build under Wine): export, change one pixel, import,
# export again, check the image changed in that one byte of user data only, then
# restore and check the image is as it was; then the same logo through a PNG.
# Usage: round_trip.sh EMULATOR TOLVANE
set -eu
emulator=$1
tolvane=$2
case $tolvane in /*) ;; *) tolvane=$PWD/$tolvane ;; esac
export WINEDEBUG=-all

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
run() { "$emulator" "$tolvane" "$@"; }
fail() { echo "round trip: $*" >&2; exit 1; }

head -c 40000 /dev/urandom > original.bin
# A raw image starts with the CD sync; without it the file would not pass for a disc.
printf '\000\377\377\377\377\377\377\377\377\377\377\000' | dd of=original.bin conv=notrunc 2>/dev/null
printf '\000' | dd of=original.bin bs=1 seek=26946 conv=notrunc 2>/dev/null
cp original.bin "jeu été 日本.bin"

run export "jeu été 日本.bin" "logo é ü.bmp" > out.txt || fail "export failed"
[ "$(wc -c < "logo é ü.bmp")" -eq 25654 ] || fail "the exported bitmap is not 25654 bytes"

# One pixel: file offset 2000 is bitmap row 2, column 154, so logo row 61,
# logo byte 23578: sector 11, user-data byte 1050, image offset 26946.
printf '\377' | dd of="logo é ü.bmp" bs=1 seek=2000 conv=notrunc 2>/dev/null
# Random bytes do not look like a disc image: --force patches them all the same.
run import --force "jeu été 日本.bin" "logo é ü.bmp" > out.txt || fail "import failed"
grep -q Patched out.txt || fail "import did not say it patched"
[ "$(wc -c < "jeu été 日本.bin")" -eq 40000 ] || fail "the image changed its length"

changed=$(cmp -l original.bin "jeu été 日本.bin" | awk '{print $1 - 1}' | tr '\n' ' ' || true)
[ "$changed" = "26946 " ] || fail "changed bytes at: $changed (expected 26946 only)"

run export "jeu été 日本.bin" back.bmp > out.txt || fail "second export failed"
cmp -s back.bmp "logo é ü.bmp" || fail "the logo read back differs from the bitmap imported"

# The same change as patch files of a copy of the original, which stays as it is:
# the delta gives what the import made; the PPF patch is its header, the check
# block and one record of the one byte, new and old.
cp original.bin base.bin
run import --force --patch-file "patch é.xdelta" base.bin "logo é ü.bmp" > out.txt || fail "patch file failed"
run import --force --patch-file "patch é.ppf" base.bin "logo é ü.bmp" > out.txt || fail "PPF patch file failed"
cmp -s original.bin base.bin || fail "making patch files changed the image"
[ "$(wc -c < "patch é.ppf")" -eq $((60 + 1024 + 9 + 2)) ] || fail "the PPF patch is $(wc -c < "patch é.ppf") bytes"
if command -v xdelta3 >/dev/null; then
    xdelta3 -d -f -s base.bin "patch é.xdelta" patched.bin || fail "xdelta3 did not apply the delta"
    cmp -s patched.bin "jeu été 日本.bin" || fail "the delta does not give the imported image"
fi

# The import kept a record of what it replaced, found by the disc, not its name:
# restore of the renamed image puts it back and marks the record taken back.
run restore --list "jeu été 日本.bin" > out.txt || fail "restore --list failed"
grep -q 'in its order' out.txt || fail "restore --list listed no patch: $(cat out.txt)"
mv "jeu été 日本.bin" "renamed ü.bin"
run restore "renamed ü.bin" > out.txt || fail "restore failed"
mv "renamed ü.bin" "jeu été 日本.bin"
cmp -s original.bin "jeu été 日本.bin" || fail "restore did not give the original bytes back"
if run restore "jeu été 日本.bin" 2> err.txt; then fail "a second restore found a record"; fi
grep -q 'its patches are taken back already' err.txt || fail "unexpected message: $(cat err.txt)"
run export "jeu été 日本.bin" "logo é ü.PNG" > out.txt || fail "PNG export failed"
[ "$(head -c 4 "logo é ü.PNG" | tail -c 3)" = PNG ] || fail "the exported PNG does not start as one"
run import --force "jeu été 日本.bin" "logo é ü.PNG" > out.txt || fail "PNG import failed"
grep -q "Nothing to patch" out.txt || fail "the PNG read back is not the logo: $(cat out.txt)"

if run export missing.bin x.bmp 2> err.txt; then fail "a missing image was exported"; fi
grep -q 'missing.bin" for reading: No such file or directory' err.txt || fail "unexpected message: $(cat err.txt)"
status=0
run export onlyone.bin 2> err.txt || status=$?
[ "$status" -eq 2 ] || fail "a usage error gave exit status $status"
run info --json "jeu été 日本.bin" | grep -q '"size": 40000' || fail "info did not give the size"
echo "round trip: passed"
