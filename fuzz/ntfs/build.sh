#!/bin/sh
# Builds the NTFS reader's fuzz target with clang (libFuzzer, address and
# undefined-behaviour sanitizers) outside the normal build, and makes its seeds: the
# start (boot sector and master file table) of small real volumes made by the tests'
# image script from a tree with Unicode names, a hard link, a deep folder and pictures
# in the root, at cluster sizes of 512 and 4096 bytes.
# Usage: fuzz/ntfs/build.sh [output folder, default fuzz-out/ntfs]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/fuzz-out/ntfs}
mkdir -p "$out/seeds" "$out/corpus" "$out/artifacts"
cxx=${CXX:-clang++}
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -DPICDEX_BUILDING_LIBRARY=1 -DPICDEX_VERSION=\"fuzz\" -I$root -I$root/include"
# shellcheck disable=SC2086
# The reader with what it stands on: the scanner, which also needs the database and the
# analyser, is left out.
$cxx $flags -o "$out/fuzz_ntfs" "$root/fuzz/ntfs/fuzz_ntfs.cc" \
    $(ls "$root"/scan/*.cc | grep -v -e /back_search -e /ntfs_drive_list) \
    "$root"/platform/*.cc -ljpeg -lpng -lgif -ltiff -lpthread

tree=$out/tree
rm -rf "$tree"
mkdir -p "$tree/Photos/2008" "$tree/Ünïcödé" "$tree/a/b/c/d"
echo root >"$tree/root.jpg"
echo hello >"$tree/Photos/2008/a.jpg"
head -c 5000 /dev/zero >"$tree/Photos/2008/b.png"
echo text >"$tree/Photos/notes.txt"
echo u >"$tree/Ünïcödé/日本.gif"
echo deep >"$tree/a/b/c/d/deep.tif"
ln "$tree/Photos/2008/a.jpg" "$tree/a/link.jpg"
for cluster in 512 4096; do
    sh "$root/tests/scan/ntfs_make_image.sh" "$tree" "$out/full-$cluster.img" 2 "$cluster"
    # The MFT of these volumes ends before 128 KiB.
    head -c 131072 "$out/full-$cluster.img" >"$out/seeds/volume-$cluster"
    rm -f "$out/full-$cluster.img"
done
rm -rf "$tree"
echo "built $out/fuzz_ntfs"
