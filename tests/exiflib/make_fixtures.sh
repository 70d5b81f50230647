#!/bin/sh
# The metadata reader's real files (and the fuzz target's seeds): small JPEG files written
# by the JPEG library, tagged by exiftool in either byte order.
# Usage: make_fixtures.sh <make_jpeg tool> <exiftool> <output folder>
set -eu
make_jpeg=$1 exiftool=$2 out=$3
mkdir -p "$out" && cd "$out"
"$make_jpeg" plain.jpg 64 48
"$make_jpeg" small.jpg 16 12

tag() {
    file=$1
    shift
    cp plain.jpg "$file"
    "$exiftool" -q -overwrite_original "$@" \
        -Make="PicdexCam" -Model="PX-100 Mark II" -ExposureTime=1/125 -FNumber=5.6 -ISO=400 \
        -ExposureCompensation=-2/3 -ExifImageWidth=640 -ExifImageHeight=480 \
        -SubjectLocation="10 20" -UserComment="hey there" \
        -DateTimeOriginal="2008:05:01 10:20:30" -CreateDate="2009:06:02 11:21:31" \
        -GPSLatitude=48.5125 -GPSLatitudeRef=N -GPSLongitude=2.34751 -GPSLongitudeRef=W \
        -GPSAltitude=35 -GPSAltitudeRef=0 \
        -IPTC:Keywords=harbour -IPTC:Keywords=sunset -IPTC:City=Marseille \
        -IPTC:Country-PrimaryLocationName=France "$file"
}

tag big.jpg -ExifByteOrder=MM
tag little.jpg -ExifByteOrder=II
tag thumb.jpg -ExifByteOrder=MM "-ThumbnailImage<=small.jpg"
touch stamp
