#!/bin/sh
# Builds the metadata reader's fuzz target with clang (libFuzzer, address and
# undefined-behaviour sanitizers) outside the normal build, and makes its seed corpus:
# the JPEG pictures of the analysis tests (ImageMagick's output, some tagged by exiftool)
# and the small hand-made files in fuzz/exiflib/seeds (maker segment, IPTC blocks, JFIF,
# comment).
# Usage: fuzz/exiflib/build.sh [output folder, default fuzz-out/exiflib]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/fuzz-out/exiflib}
mkdir -p "$out"
cxx=${CXX:-clang++}
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I$root -I$root/include -I$root/tests/exiflib"
# shellcheck disable=SC2086
$cxx $flags -o "$out/fuzz_exiflib" "$root/fuzz/exiflib/fuzz_parse.cc" \
    "$root"/exiflib/*.cc "$root/tests/exiflib/walk.cc" "$root/tests/exiflib/builders.cc" \
    "$root/platform/msgbox.cc" "$root/platform/codepage.cc"

"$root/tests/analysis/make_fixtures.sh" "${CONVERT:-convert}" "${EXIFTOOL:-exiftool}" "$out/fixtures"
mkdir -p "$out/seeds" "$out/corpus" "$out/artifacts"
cp "$out"/fixtures/*.jpg "$root"/fuzz/exiflib/seeds/*.jpg "$out/seeds/"
echo "built $out/fuzz_exiflib"
