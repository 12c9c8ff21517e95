#!/bin/sh
# Times `tolvane import` against the least an import with its undo record can
# cost: bench/import_floor.cpp reads the image's first 28248 bytes, writes a 56 KB
# record, flushes it, links it into a folder, flushes the folder, and writes and
# flushes the new bytes, nothing else. On an
# image on this machine's disk (a tmpfs would leave out the flush), for each size
# given: by default a 4 GiB sparse image and a 1 MiB one. The two commands, on
# every size, run in alternating rounds of hyperfine, so that a change in the
# machine's load reaches them all alike. Before each run a prepare step swaps two
# files, so that each import brings the other of two bitmaps and each floor run
# writes the other of the two prefixes those imports give (the two swaps go
# together, so the image always holds what a.bmp and prefix.bin hold now): every
# run changes the bytes it writes. The k-th runs of the two in a round make a
# pair; the median of the pairs' ratios is printed, with the medians of each.
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
floor=$build/bin/import_floor
prefix_length=28248  # what tolvane reads and writes back of a raw Mode 2 image

for program in "$tolvane" "$files" "$floor"; do
    [ -x "$program" ] || { echo "time-import: $program is missing; run make bench-build first" >&2; exit 1; }
done
for program in hyperfine python3; do
    command -v $program >/dev/null || { echo "time-import: $program is not installed" >&2; exit 1; }
done

work=$build/import-timing
rm -rf "$work"
mkdir -p "$work"
# Each import keeps a record for tolvane restore: keep them here, not in the home folder.
export XDG_DATA_HOME="${RECORDS:-$build/import-timing-records}"
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
# One folder for each size, each with its image, its two bitmaps, the prefixes
# they give and the floor's folder of records.
for size in "$@"; do
    mkdir -p "$work/$size/floor-records"
    cd "$work/$size"
    "$files" . "$(bytes_of "$size")"
    "$tolvane" import game.bin b.bmp >/dev/null
    head -c $prefix_length game.bin >prefix-other.bin
    "$tolvane" import game.bin a.bmp >/dev/null
    head -c $prefix_length game.bin >prefix.bin
done

import="$tolvane import game.bin a.bmp"
floor_command="$floor game.bin prefix.bin floor-records"
swap="sh -c 'mv a.bmp t && mv b.bmp a.bmp && mv t b.bmp && mv prefix.bin t && mv prefix-other.bin prefix.bin && mv t prefix-other.bin'"
# Every round times every size, so that the sizes meet the same state of the disk.
round=1
while [ $round -le "$rounds" ]; do
    if [ $((round % 2)) -eq 1 ]; then order="import floor"; else order="floor import"; fi
    for size in "$@"; do
        cd "$work/$size"
        for which in $order; do
            if [ $which = import ]; then command=$import; else command=$floor_command; fi
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
    python3 - "$size" "$rounds" <<'PY'
import json, statistics, sys
size, rounds = sys.argv[1], int(sys.argv[2])
def times(kind, r):
    return json.load(open(f"times-{kind}-{r}.json"))["results"][0]["times"]
pairs = [(i, f) for r in range(1, rounds + 1) for i, f in zip(times("import", r), times("floor", r))]
imp, floor = statistics.median(p[0] for p in pairs), statistics.median(p[1] for p in pairs)
ratio = statistics.median(i / f for i, f in pairs)
print(f"{size:>6} image: tolvane import {imp * 1e3:.2f} ms, floor {floor * 1e3:.2f} ms (medians); "
      f"median of pairwise ratios {ratio:.2f} ({(imp - floor) * 1e3:.2f} ms more)")
PY
done
