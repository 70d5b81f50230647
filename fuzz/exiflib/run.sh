#!/bin/sh
# Runs the metadata reader's fuzz target (built by build.sh) at low priority, one
# process. Crashing or hanging inputs land in <out>/artifacts; copy them to
# tests/exiflib/regress/ so the regression test keeps them.
# Usage: fuzz/exiflib/run.sh [seconds, default 1800] [output folder]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-1800}
out=${2:-$root/fuzz-out/exiflib}
exec nice -n 19 "$out/fuzz_exiflib" "$out/corpus" "$out/seeds" \
    -dict="$root/fuzz/exiflib/jpeg.dict" -max_len=20000 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/artifacts/"
