#!/bin/sh
# Builds the image and metadata step's fuzz target with clang (libFuzzer, address and
# undefined-behaviour sanitizers) outside the normal build, and makes its seed corpus:
# the analysis tests' pictures (every format, written by ImageMagick, some tagged by
# exiftool) and the hand-made files in tests/analysis/regress.
# Usage: fuzz/analysis/build.sh [output folder, default fuzz-out/analysis]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/fuzz-out/analysis}
mkdir -p "$out/obj"
cxx=${CXX:-clang++}
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=undefined -I$root -I$root/include -I$root/tests
       -I$root/tests/exiflib -I$root/tests/analysis -DPICDEX_VERSION=\"fuzz\""
# The library's sources, each compiled once (again only when changed).
for src in "$root"/platform/*.cc "$root"/engine/*.cc "$root"/scan/*.cc "$root"/analysis/*.cc \
    "$root"/exiflib/*.cc "$root"/db/*.cc "$root/tests/exiflib/builders.cc" \
    "$root/tests/analysis/pictures.cc"; do
    obj="$out/obj/$(echo "${src#"$root"/}" | tr / _).o"
    if [ ! -e "$obj" ] || [ "$src" -nt "$obj" ]; then
        # shellcheck disable=SC2086
        $cxx $flags -DANALYSIS_FIXTURES='""' -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
    fi
done
# shellcheck disable=SC2086
$cxx $flags -fsanitize=fuzzer -o "$out/fuzz_analysis" "$root/fuzz/analysis/fuzz_extract.cc" \
    "$out"/obj/*.o -lsqlite3 -ljpeg -lpng -lgif -ltiff -lpthread -ldl

# Seeds: the test pictures, made as the tests make them.
"$root/tests/analysis/make_fixtures.sh" "${CONVERT:-convert}" "${EXIFTOOL:-exiftool}" "$out/fixtures"
mkdir -p "$out/seeds" "$out/corpus" "$out/artifacts"
find "$out/fixtures" -type f ! -name '*.txt' ! -name stamp -exec cp {} "$out/seeds/" \;
cp "$root"/tests/analysis/regress/* "$out/seeds/" 2>/dev/null || true
echo "built $out/fuzz_analysis"
