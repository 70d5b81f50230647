#!/bin/sh
# Runs the NTFS reader's fuzz target (built by build.sh) at low priority, one process.
# Crashing or hanging inputs land in <out>/artifacts; copy them to
# tests/scan/ntfs_regress/ so the regression test keeps them.
# Usage: fuzz/ntfs/run.sh [seconds, default 1800] [output folder]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-1800}
out=${2:-$root/fuzz-out/ntfs}
exec nice -n 19 "$out/fuzz_ntfs" "$out/corpus" "$out/seeds" \
    -dict="$root/fuzz/ntfs/ntfs.dict" -max_len=131072 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/artifacts/"
