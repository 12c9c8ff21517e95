#!/bin/sh
# Times `tolvane import` against the least any in-place patch can cost, writing
# the same bytes with dd and flushing them:
#     dd if=prefix.bin of=game.bin bs=28248 count=1 conv=notrunc,fsync
# on an image on this machine's disk (a tmpfs would leave out the flush), for each
# size given: by default a 4 GiB sparse image and a 1 MiB one. The two commands, on
# every size, run in alternating rounds of hyperfine, so that a change in the
# machine's load reaches them all alike. Before each run a prepare step swaps two files, so that each
# import brings the other of two bitmaps and each dd writes the other of the two
# prefixes those imports give (the two swaps go together, so the image always holds
# what a.bmp and prefix.bin hold now): every run changes the bytes it writes.
# The ratio moves with the time the disk takes to flush, which on a shared VM
# changes from minute to minute; the difference (what tolvane adds to dd's work)
# moves much less, so both are printed.
#
# Usage: bench/time-import.sh [BUILD_DIR [SIZE...]]   SIZE in bytes, or with K, M or G
# Environment: ROUNDS (default 60) rounds of RUNS (default 3) runs of each command: short
# rounds, as the time a flush takes drifts with the load on the disk.
set -eu

build=$(cd "${1:-build}" && pwd)
[ $# -gt 0 ] && shift
[ $# -gt 0 ] || set -- 4G 1M
rounds=${ROUNDS:-60}
runs=${RUNS:-3}
tolvane=$build/bin/tolvane
files=$build/bin/tolvane_bench_files
prefix_length=28248  # what tolvane reads and writes back of a raw Mode 2 image

for program in "$tolvane" "$files"; do
    [ -x "$program" ] || { echo "time-import: $program is missing; run make bench first" >&2; exit 1; }
done
for program in hyperfine python3 dd; do
    command -v $program >/dev/null || { echo "time-import: $program is not installed" >&2; exit 1; }
done

work=$build/import-timing
rm -rf "$work"
mkdir -p "$work"
# Each import keeps a backup for tolvane restore: keep them here, not in the home folder.
export XDG_DATA_HOME="${BACKUPS:-$build/import-timing-backups}"
trap 'rm -rf "$work" "$XDG_DATA_HOME"' EXIT
fs=$(stat -f -c %T "$work")
case $fs in
    tmpfs|ramfs) echo "time-import: $work is on $fs, not on a disk" >&2; exit 1 ;;
esac

bytes_of() {
    case $1 in
        *G) echo $((${1%G} * 1024 * 1024 * 1024)) ;;
        *M) echo $((${1%M} * 1024 * 1024)) ;;
        *K) echo $((${1%K} * 1024)) ;;
        *) echo "$1" ;;
    esac
}

echo "Image on $(df --output=source "$work" | tail -1) ($fs); $rounds rounds of $runs runs each"
# One folder for each size, each with its image, its two bitmaps and the prefixes
# they give.
for size in "$@"; do
    mkdir -p "$work/$size"
    cd "$work/$size"
    "$files" . "$(bytes_of "$size")"
    "$tolvane" import game.bin b.bmp >/dev/null
    head -c $prefix_length game.bin >prefix-other.bin
    "$tolvane" import game.bin a.bmp >/dev/null
    head -c $prefix_length game.bin >prefix.bin
done

import="$tolvane import game.bin a.bmp"
dd="dd if=prefix.bin of=game.bin bs=$prefix_length count=1 conv=notrunc,fsync"
swap="sh -c 'mv a.bmp t && mv b.bmp a.bmp && mv t b.bmp && mv prefix.bin t && mv prefix-other.bin prefix.bin && mv t prefix-other.bin'"
# Every round times every size, so that the sizes meet the same state of the disk.
round=1
while [ $round -le "$rounds" ]; do
    if [ $((round % 2)) -eq 1 ]; then order="import dd"; else order="dd import"; fi
    for size in "$@"; do
        cd "$work/$size"
        for which in $order; do
            if [ $which = import ]; then command=$import; else command=$dd; fi
            if ! hyperfine -N --style none --warmup 1 --runs "$runs" --prepare "$swap" \
                --export-json "times-$which-$round.json" "$command" >/dev/null 2>hyperfine.log; then
                cat hyperfine.log >&2
                exit 1
            fi
        done
    done
    round=$((round + 1))
done

for size in "$@"; do
    cd "$work/$size"
    python3 - "$size" <<'PY'
import glob, json, statistics, sys
def times(kind):
    return [t for name in glob.glob(f"times-{kind}-*.json") for t in json.load(open(name))["results"][0]["times"]]
imp, dd = statistics.median(times("import")), statistics.median(times("dd"))
print(f"{sys.argv[1]:>6} image: tolvane import {imp * 1e3:.2f} ms, dd {dd * 1e3:.2f} ms (medians), ratio {imp / dd:.2f}"
      f" ({(imp - dd) * 1e3:.2f} ms more)")
PY
done
