#!/bin/sh
# picdex index on a generated tree of camera JPEGs, against what a user would otherwise
# script: exiftool reading every file's metadata, and find with stat listing the tree.
#   - first index: a new index of the whole tree (each run starts from no index);
#   - unchanged: picdex index again on that index, nothing changed;
#   - exiftool -r -fast -n -json over the tree;
#   - find -printf of size and time (a stat of every file) over the tree;
#   - picdex search (a quick text, a field search, a count) and picdex stats on the index.
# Timings come from hyperfine (a warm-up run where the command allows one, then RUNS
# runs; the mean is reported); the ratios the targets ask for are printed at the end:
# first index at least 10 times faster than exiftool, unchanged run within 3 times the
# find walk.
# Usage: bench/cli/index_bench.sh [BUILD=build] [WORK=/tmp/picdex-index-bench]
#                                 [FILES=20000] [RUNS=3]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-/tmp/picdex-index-bench}
files=${3:-20000}
runs=${4:-3}
picdex=$build/cli/picdex
maker=$build/tests/cli/cli_make_pictures
for tool in "$picdex" "$maker"; do
    [ -x "$tool" ] || { echo "build $tool first (cmake --build $build --target picdex_cli cli_make_pictures)" >&2; exit 1; }
done
for tool in hyperfine exiftool; do
    command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

mkdir -p "$work"
tree=$work/tree
if [ "$(cat "$work/stamp" 2>/dev/null)" != "$files" ]; then
    rm -rf "$tree" "$work/stamp"
    echo "making $files pictures in $tree..."
    "$maker" "$tree" "$files" 100
    echo "$files" >"$work/stamp"
fi
db=$work/index.db
export PICDEX_DB="$db"
csv=$work/times.csv
: >"$csv"
# time NAME [hyperfine options] COMMAND: appends "NAME,mean seconds" to the table.
time_it() {
    name=$1
    shift
    hyperfine --style basic --export-csv "$work/one.csv" "$@" >&2
    awk -F, -v n="$name" 'NR == 2 {print n "," $2}' "$work/one.csv" >>"$csv"
}

q() { printf "'%s'" "$1"; }
time_it find --warmup 1 --runs "$runs" \
    "find $(q "$tree") -type f -printf '%s %T@ %p\n' >/dev/null"
time_it first --runs "$runs" --prepare "rm -f $(q "$db") $(q "$db").lock" \
    "$(q "$picdex") index -q $(q "$tree") >/dev/null"
# A run started in the second of the previous run's last write waits for the next
# second (the index keeps whole-second stamps); a user never starts runs that close
# together, so the runs are a second apart here.
time_it unchanged --warmup 1 --runs "$runs" --prepare "sleep 1" "$(q "$picdex") index -q >/dev/null"
time_it exiftool --runs 1 "exiftool -r -fast -n -json $(q "$tree") >/dev/null"
time_it search_quick --warmup 1 --runs "$runs" "$(q "$picdex") search canon >/dev/null"
time_it search_field --warmup 1 --runs "$runs" \
    "$(q "$picdex") search --where 'iso>=800' 'taken>=2019-01' >/dev/null"
time_it search_count --warmup 1 --runs "$runs" "$(q "$picdex") search --count nikon >/dev/null"
time_it stats_years --warmup 1 --runs "$runs" "$(q "$picdex") stats >/dev/null"
time_it stats_tree --warmup 1 --runs "$runs" "$(q "$picdex") stats --folders --tree >/dev/null"

echo
echo "$files pictures in $tree (index: $(du -h "$db" | cut -f1))"
awk -F, '{t[$1] = $2; printf "%-14s %8.3f s\n", $1, $2}
    END {
        printf "first index vs exiftool: %.1f times faster (target: at least 10)\n",
               t["exiftool"] / t["first"]
        printf "unchanged run vs find:   %.2f times the find walk (target: at most 3)\n",
               t["unchanged"] / t["find"]
    }' "$csv"
