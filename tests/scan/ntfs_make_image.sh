#!/bin/sh
# Makes an NTFS volume image holding a copy of a folder tree, without mounting
# anything: mkntfs makes an empty volume in a file, wimlib-imagex captures the tree
# into a WIM file beside the image and applies it onto the volume (hard links, Unicode
# names and last-write times are kept).
# Usage: ntfs_make_image.sh TREE IMAGE SIZE_MIB [CLUSTER_BYTES, default 4096]
set -eu
PATH=$PATH:/usr/sbin:/sbin
if [ $# -lt 3 ]; then
    echo "usage: $0 TREE IMAGE SIZE_MIB [CLUSTER_BYTES]" >&2
    exit 2
fi
tree=$1 image=$2 size=$3 cluster=${4:-4096}
wim=$image.wim
log=$image.log
rm -f "$image" "$wim"
truncate -s "${size}M" "$image"
# mkntfs says a lot about a file not being a partition; keep it only for failures.
if ! mkntfs -F -Q -q -s 512 -c "$cluster" -L picdex "$image" >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
if ! wimlib-imagex capture "$tree" "$wim" --compress=none --no-acls >"$log" 2>&1 ||
    ! wimlib-imagex apply "$wim" 1 "$image" --no-acls >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$wim"
    exit 1
fi
rm -f "$wim" "$log"
