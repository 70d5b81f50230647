#!/bin/sh
# Makes an NTFS volume image holding a copy of a folder tree without mounting anything:
# mkntfs makes an empty volume in a file, wimlib-imagex captures the tree into a WIM
# file beside it and applies that onto the volume (hard links, Unicode names and
# last-write times are kept). What mkntfs says is shown only when it fails.
# Usage: ntfs_make_image.sh TREE IMAGE SIZE_MIB [CLUSTER_BYTES, default 4096]
set -eu
PATH=$PATH:/usr/sbin:/sbin
rm -f "$2" "$2.wim"
truncate -s "${3}M" "$2"
mkntfs -F -Q -q -s 512 -c "${4:-4096}" -L picdex "$2" >"$2.log" 2>&1 || { cat "$2.log" >&2; exit 1; }
wimlib-imagex capture "$1" "$2.wim" --compress=none --no-acls >/dev/null
wimlib-imagex apply "$2.wim" 1 "$2" --no-acls >/dev/null
rm "$2.wim" "$2.log"
