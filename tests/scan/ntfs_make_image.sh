#!/bin/sh
# Makes an NTFS volume image holding a copy of a folder tree without mounting anything:
# mkntfs makes an empty volume in a file, wimlib-imagex captures the tree into a WIM
# file beside it and applies that onto the volume (hard links, Unicode names and
# last-write times are kept). What the tools say is shown only when one fails.
# Usage: ntfs_make_image.sh TREE IMAGE SIZE_MIB [CLUSTER_BYTES, default 4096]
set -eu
PATH=$PATH:/usr/sbin:/sbin
tree=$1 image=$2 size=$3 cluster=${4:-4096}
rm -f "$image" "$image.wim"
truncate -s "${size}M" "$image"
if ! { mkntfs -F -Q -q -s 512 -c "$cluster" -L picdex "$image" &&
    wimlib-imagex capture "$tree" "$image.wim" --compress=none --no-acls &&
    wimlib-imagex apply "$image.wim" 1 "$image" --no-acls; } >"$image.log" 2>&1; then
    cat "$image.log" >&2
    rm -f "$image.wim"
    exit 1
fi
rm -f "$image.wim" "$image.log"
