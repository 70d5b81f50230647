#!/bin/sh
# Makes the real-file fixtures of the metadata reader's tests: small JPEG files written by
# the system's JPEG library and tagged by exiftool, plus what exiftool reads back from
# each (<name>.txt, its -args output), which the tests compare with.
# Usage: make_fixtures.sh <make_jpeg tool> <exiftool> <output folder>
set -eu
make_jpeg=$1
exiftool=$2
out=$3
mkdir -p "$out"
cd "$out"

"$make_jpeg" plain.jpg 64 48
"$make_jpeg" small.jpg 16 12

tag() {
    file=$1
    shift
    cp plain.jpg "$file"
    "$exiftool" -q -overwrite_original "$@" \
        -Make="PicdexCam" -Model="PX-100 Mark II" -ExposureTime=1/125 -FNumber=5.6 -ISO=400 \
        -DateTimeOriginal="2008:05:01 10:20:30" -CreateDate="2009:06:02 11:21:31" \
        -GPSLatitude=48.5125 -GPSLatitudeRef=N -GPSLongitude=2.34751 -GPSLongitudeRef=W \
        -GPSAltitude=35 -GPSAltitudeRef=0 \
        -IPTC:Keywords=harbour -IPTC:Keywords=sunset -IPTC:City=Marseille \
        -IPTC:Country-PrimaryLocationName=France "$file"
    "$exiftool" -args -n -sep "|" -Make -Model -ExposureTime -FNumber -ISO -CreateDate \
        -GPS:GPSLatitude -GPS:GPSLatitudeRef -GPS:GPSLongitude -GPS:GPSLongitudeRef \
        -IPTC:Keywords -IPTC:City -ExifByteOrder "$file" > "${file%.jpg}.txt"
}

tag big.jpg -ExifByteOrder=MM
tag little.jpg -ExifByteOrder=II
tag thumb.jpg -ExifByteOrder=II "-ThumbnailImage<=small.jpg"
touch stamp
