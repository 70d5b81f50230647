#!/bin/sh
# The background scanner over a generated tree of small camera JPEGs, beside other ways
# of going over the same files, in one run:
#   - a first run on a new database (files analysed per second, peak memory);
#   - a second run over the unchanged tree (seconds; nothing is analysed again);
#   - a folder walk with stat of the tree (find -printf of size and time);
#   - one exiftool -fast pass over the tree (every tag, numeric values).
# The tree is kept in the work folder and made again only when FILES or FOLDERS change;
# the database is made new for each first run. Caches are warm (the tree is read once
# before the timings). DBDIR puts the database elsewhere (a tmpfs shows the runs
# without the disk flush of each commit).
# Usage: bench/scan/back_search_bench.sh [BUILD=build] [WORK=/tmp/picdex-scan-bench]
#                                        [FILES=20000] [FOLDERS=400] [DBDIR=WORK]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-/tmp/picdex-scan-bench}
files=${3:-20000}
folders=${4:-400}
dbdir=${5:-$work}
driver=$build/bench/scan/back_search_bench
[ -x "$driver" ] || { echo "build $driver first" >&2; exit 1; }
command -v exiftool >/dev/null || { echo "exiftool is needed" >&2; exit 1; }

mkdir -p "$work" "$dbdir"
tree=$work/tree
stamp="$files $folders"
if [ ! -d "$tree" ] || [ "$(cat "$work/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$tree" "$work/stamp"
    "$driver" make-tree "$tree" "$files" "$folders"
    echo "$stamp" >"$work/stamp"
fi
# No default folder filter may apply to the tree: the system folders lie outside it.
export XDG_DATA_HOME="$work/sys/data" XDG_DOCUMENTS_DIR="$work/sys/docs" \
    XDG_CONFIG_HOME="$work/sys/config" TMPDIR="$work/sys/tmp"
mkdir -p "$XDG_DATA_HOME" "$XDG_DOCUMENTS_DIR" "$XDG_CONFIG_HOME" "$TMPDIR"
drives="C=$tree"
db=$dbdir/index.db

now() { date +%s.%N; }
elapsed() { echo "$1 $(now)" | awk '{printf "%.3f", $2 - $1}'; }
# Warm the page cache with the whole tree.
cat "$tree"/*/*/* >/dev/null

rm -f "$db" "$db-journal"
/usr/bin/time -f "%M %U %S" -o "$work/peak1" "$driver" scan "$db" "$drives" | tee "$work/run1"
first=$(sed -n 's/^run: \([0-9.]*\) s.*/\1/p' "$work/run1")
rate=$(sed -n 's/.*, \([0-9]*\) analysed files\/s/\1/p' "$work/run1")
sleep 1  # the second run must start in a later second than the first one's writes
/usr/bin/time -f "%M %U %S" -o "$work/peak2" "$driver" scan "$db" "$drives" | tee "$work/run2"
second=$(sed -n 's/^run: \([0-9.]*\) s.*/\1/p' "$work/run2")

t0=$(now)
find "$tree" -printf '%s %T@ %p\n' >/dev/null
walk=$(elapsed "$t0")
t0=$(now)
/usr/bin/time -f "%U %S" -o "$work/cpu3" exiftool -fast -n -r -q "$tree" >/dev/null
exif=$(elapsed "$t0")

peak() { cut -d' ' -f1 "$1"; }
cpu() { awk '{printf "%.2f", $(NF-1) + $NF}' "$1"; }
printf '\n%-46s %10s %10s %12s\n' "what" "seconds" "CPU s" "peak KiB"
printf '%-46s %10s %10s %12s\n' "first run ($rate analysed files/s)" "$first" "$(cpu "$work/peak1")" \
    "$(peak "$work/peak1")"
printf '%-46s %10s %10s %12s\n' "second run, unchanged tree" "$second" "$(cpu "$work/peak2")" \
    "$(peak "$work/peak2")"
printf '%-46s %10s\n' "find -printf size+time (stat walk)" "$walk"
printf '%-46s %10s %10s\n' "exiftool -fast -n -r" "$exif" "$(cpu "$work/cpu3")"
ratio() { echo "$1 $2" | awk -v f="$3" '{printf f, $1 / $2}'; }
echo "second run / first run: $(ratio "$second" "$first" "%.3f") wall," \
    "$(ratio "$(cpu "$work/peak2")" "$(cpu "$work/peak1")" "%.3f") CPU"
echo "exiftool / first run:   $(ratio "$exif" "$first" "%.1fx") wall," \
    "$(ratio "$(cpu "$work/cpu3")" "$(cpu "$work/peak1")" "%.1fx") CPU"
echo "first run / stat walk:  $(ratio "$first" "$walk" "%.1fx") wall"
