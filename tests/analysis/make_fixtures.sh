#!/bin/sh
# Makes the real-file fixtures of the analysis tests: small pictures of every format the
# decoder knows, written by the system's format libraries (make_images), some tagged by
# exiftool with camera, GPS and IPTC values; then, for every picture, what exiftool
# reads back from it (<name>.txt, its -args -n output, plus -Pages=<n>: the number of
# TIFF directories with an image width), which the tests compare with.
# Usage: make_fixtures.sh <make_images tool> <exiftool> <output folder>
set -eu
make_images=$1
exiftool=$2
out=$3
rm -rf "$out"
mkdir -p "$out"
cd "$out"
"$make_images" .

camera() {
    "$exiftool" -q -overwrite_original \
        -Make="PicdexCam" -Model="PX-100 Mark II" -ExposureTime=1/125 -FNumber=5.6 -ISO=400 \
        -ExposureCompensation=-2/3 -FocalLength=50 -MaxApertureValue=2.8 \
        -DateTimeOriginal="2008:05:01 10:20:30" -CreateDate="2009:06:02 11:21:31" "$@"
}
iptc() {
    "$exiftool" -q -overwrite_original \
        -IPTC:Keywords=harbour -IPTC:Keywords=sunset -IPTC:City=Marseille \
        -IPTC:Country-PrimaryLocationName=France -IPTC:Caption-Abstract="Old port" \
        -IPTC:Category=TRV -IPTC:Sub-location=Vieux-Port -IPTC:CopyrightNotice="(c) Picdex" \
        -IPTC:Writer-Editor=Ann "$@"
}

camera -ExifByteOrder=II -GPSLatitude="48 30 36" -GPSLatitudeRef=N \
    -GPSLongitude="2 20 51" -GPSLongitudeRef=E -GPSAltitude=35 -GPSAltitudeRef=0 camera.jpg
iptc camera.jpg
camera -ExifByteOrder=MM -GPSLatitude="48 30 36" -GPSLatitudeRef=N \
    -GPSLongitude="2 20 51" -GPSLongitudeRef=E -GPSAltitude=35 -GPSAltitudeRef=0 \
    -GPSTimeStamp="10:20:30" camera_be.jpg
camera -ExifByteOrder=II -GPSLatitude="33 52 4" -GPSLatitudeRef=S \
    -GPSLongitude="151 12 36" -GPSLongitudeRef=W -GPSAltitude=12 -GPSAltitudeRef=1 south.jpg
camera -GPSLatitude="48 30 36" -GPSLatitudeRef=N -GPSLongitude="2 20 51" \
    -GPSLongitudeRef=W -GPSAltitude=7 -GPSAltitudeRef=0 camera.tif

for f in *.jpg *.png *.gif *.bmp *.ico *.tif; do
    "$exiftool" -args -n -sep "|" -ImageWidth -ImageHeight -BitsPerSample -ColorComponents -BitsPerPixel \
        -BitDepth -ColorType -FrameCount -Make -Model -ExposureTime -FNumber -ISO \
        -ExposureCompensation -FocalLength -MaxApertureValue -CreateDate \
        -GPS:GPSLatitude -GPS:GPSLatitudeRef -GPS:GPSLongitude -GPS:GPSLongitudeRef \
        -GPS:GPSAltitude -GPS:GPSTimeStamp -IPTC:Keywords -IPTC:City \
        -IPTC:Country-PrimaryLocationName -IPTC:Caption-Abstract -IPTC:Category \
        -IPTC:Sub-location -IPTC:CopyrightNotice -IPTC:Writer-Editor "$f" > "$f.txt"
    case $f in
    *.tif) echo "-Pages=$("$exiftool" -a -s -s -s -ImageWidth "$f" | wc -l)" >> "$f.txt" ;;
    esac
done
touch stamp
