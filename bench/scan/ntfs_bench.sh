#!/bin/sh
# The NTFS reader against other ways of listing the same files, in one run:
#   - ReadAll of the reader over an NTFS image, delivering every picture with its path
#     (the whole process, and ReadAll alone as the driver measures it);
#   - ntfsls -R -l (ntfs-3g) listing the same image;
#   - a folder walk with stat of the tree the image was made from, on the host file
#     system: find -printf of size and time, and picdex list by the folder route.
# Each is run once to warm the caches, then timed best of RUNS; peak memory comes from
# /usr/bin/time. The tree and the image are kept in the work folder and made again
# only when FILES, FOLDERS or EVERY change.
# Usage: bench/scan/ntfs_bench.sh [BUILD=build] [WORK=/tmp/picdex-ntfs-bench]
#                                 [FILES=50000] [FOLDERS=3000] [RUNS=5] [EVERY=4]
# (EVERY: one file in EVERY is a picture.)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-/tmp/picdex-ntfs-bench}
files=${3:-50000}
folders=${4:-3000}
runs=${5:-5}
every=${6:-4}
PATH=$PATH:/usr/sbin:/sbin
driver=$build/bench/scan/ntfs_read_bench
picdex=$build/cli/picdex
for tool in "$driver" "$picdex"; do
    [ -x "$tool" ] || { echo "build $tool first" >&2; exit 1; }
done
command -v ntfsls >/dev/null || { echo "ntfsls (ntfs-3g) is needed" >&2; exit 1; }

mkdir -p "$work"
image=$work/volume.img
stamp="$files $folders $every"
if [ ! -f "$image" ] || [ "$(cat "$work/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$work/tree" "$image" "$work/stamp"
    "$driver" make-tree "$work/tree" "$files" "$folders" "$every"
    # About 2.5 KiB of volume per file (its record, its share of the folder indexes).
    size=$(( files * 5 / 2048 + 64 ))
    echo "making a ${size} MiB NTFS image of the tree..."
    sh "$root/tests/scan/ntfs_make_image.sh" "$work/tree" "$image" "$size" 4096
    echo "$stamp" >"$work/stamp"
fi

now() { date +%s.%N; }
# best_of NAME COMMAND...: runs the command once to warm up, then RUNS times, and prints
# the best wall-clock seconds; stdout of the command is discarded.
best_of() {
    name=$1
    shift
    "$@" >/dev/null
    best=
    i=0
    while [ $i -lt "$runs" ]; do
        t0=$(now)
        "$@" >/dev/null
        t1=$(now)
        best=$(echo "$t0 $t1 ${best:-1e9}" | awk '{d = $2 - $1; print (d < $3) ? d : $3}')
        i=$((i + 1))
    done
    echo "$best" >"$work/best.$name"
}
peak() {  # peak resident KiB of one run of the command
    /usr/bin/time -f "%M" -o "$work/peak" "$@" >/dev/null
    cat "$work/peak"
}
walk_find() { find "$work/tree" -printf '%s %T@ %p\n'; }
walk_picdex() { PICDEX_DRIVES="M=$work/tree" "$picdex" list M; }
read_mft() { "$driver" read "$image" 1; }

echo "image: $(du -h --apparent-size "$image" | cut -f1), tree in $work/tree"
"$driver" read "$image" "$runs"
best_of reader read_mft
best_of ntfsls ntfsls -R -l "$image"
best_of find walk_find
best_of picdexwalk walk_picdex
reader=$(cat "$work/best.reader")
printf '\n%-44s %10s %12s %8s\n' "what" "seconds" "peak KiB" "ratio"
row() {  # row LABEL NAME PEAK
    t=$(cat "$work/best.$2")
    printf '%-44s %10.3f %12s %8s\n' "$1" "$t" "$3" \
        "$(echo "$t $reader" | awk '{printf "%.1fx", $1 / $2}')"
}
row "ReadAll, whole process (picdex reader)" reader "$(peak "$driver" read "$image" 1)"
row "ntfsls -R -l (same image)" ntfsls "$(peak ntfsls -R -l "$image")"
row "find -printf size+time (host tree)" find "$(peak find "$work/tree" -printf '%s %T@ %p\n')"
row "picdex list, folder walk (host tree)" picdexwalk \
    "$(PICDEX_DRIVES="M=$work/tree" peak "$picdex" list M)"
echo "(ratio: seconds over the reader's; best of $runs runs, warm caches)"
