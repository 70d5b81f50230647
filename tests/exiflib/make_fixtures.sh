#!/bin/sh
# The metadata reader's real files (and the fuzz target's seeds): small grey JPEG files
# written by ImageMagick, tagged by exiftool in either byte order.
# Usage: make_fixtures.sh <ImageMagick's convert> <exiftool> <output folder>
set -eu
convert=$1 exiftool=$2 out=$3
mkdir -p "$out" && cd "$out"
"$convert" -size 64x48 gradient: -type Grayscale plain.jpg
"$convert" -size 16x12 gradient: -type Grayscale small.jpg

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
