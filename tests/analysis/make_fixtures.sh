#!/bin/sh
# Makes the real-file fixtures of the analysis tests: small pictures of every format the
# decoder knows, written by the system's format libraries (make_images); copies of them
# tagged by exiftool with camera, GPS and IPTC values in either byte order, each with
# what exiftool reads back from it (<name>.txt, its -args -n output).
# Usage: make_fixtures.sh <make_images tool> <exiftool> <output folder>
set -eu
make_images=$1 exiftool=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
cd "$out"
"$make_images" .
cp rgb.jpg camera.jpg
cp rgb.jpg camera_be.jpg

tag() {
    file=$1
    shift
    "$exiftool" -q -overwrite_original -Make="PicdexCam" -Model="PX-100 Mark II" \
        -ExposureTime=1/125 -FNumber=5.6 -ISO=400 -ExposureCompensation=-2/3 -FocalLength=50 \
        -MaxApertureValue=2.8 -DateTimeOriginal="2008:05:01 10:20:30" \
        -CreateDate="2009:06:02 11:21:31" -GPSLatitude="48 30 36" -GPSLongitude="2 20 51" \
        "$@" "$file"
    "$exiftool" -args -n -sep "|" -Make -Model -ExposureTime -FNumber -ISO \
        -ExposureCompensation -FocalLength -MaxApertureValue -CreateDate -GPS:GPSLatitude \
        -GPS:GPSLatitudeRef -GPS:GPSLongitude -GPS:GPSLongitudeRef -GPS:GPSAltitude \
        -GPS:GPSTimeStamp \
        -IPTC:Keywords -IPTC:City -IPTC:Country-PrimaryLocationName -IPTC:Caption-Abstract \
        -IPTC:Category -IPTC:Sub-location -IPTC:CopyrightNotice -IPTC:Writer-Editor \
        "$file" >"$file.txt"
}
tag camera.jpg -ExifByteOrder=II -GPSLatitudeRef=N -GPSLongitudeRef=E -GPSAltitude=35 \
    -GPSAltitudeRef=0 -IPTC:Keywords=harbour -IPTC:Keywords=sunset -IPTC:City=Marseille \
    -IPTC:Country-PrimaryLocationName=France -IPTC:Caption-Abstract="Old port" \
    -IPTC:Category=TRV -IPTC:Sub-location=Vieux-Port -IPTC:CopyrightNotice="(c) Picdex" \
    -IPTC:Writer-Editor=Ann
tag camera_be.jpg -ExifByteOrder=MM -GPSLatitudeRef=S -GPSLongitudeRef=W -GPSAltitude=12 \
    -GPSAltitudeRef=1 -GPSTimeStamp="10:20:30"
tag pages.tif -GPSLatitudeRef=N -GPSLongitudeRef=W -GPSAltitude=7 -GPSAltitudeRef=0
touch stamp
