#!/bin/sh
# Runs the image and metadata step's fuzz target (built by build.sh) at low priority, one
# process. Crashing or hanging inputs land in <out>/artifacts; copy them to
# tests/analysis/regress/ so the regression test keeps them.
# Usage: fuzz/analysis/run.sh [seconds, default 1800] [output folder]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-1800}
out=${2:-$root/fuzz-out/analysis}
exec nice -n 19 "$out/fuzz_analysis" "$out/corpus" "$out/seeds" \
    -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/artifacts/"
