#!/bin/sh
# Makes the real-file fixtures of the analysis tests: small pictures of every format the
# decoder knows, one ImageMagick command each (the facts each must carry are in the
# tests' table); copies tagged by exiftool with camera, GPS and IPTC values in either
# byte order (one with a thumbnail), each with what exiftool reads back from it
# (<name>.txt, its -args -n output). The metadata reader's tests read the JPEG files too.
# Usage: make_fixtures.sh <ImageMagick's convert> <exiftool> <output folder>
set -eu
convert=$1 exiftool=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
cd "$out"
"$convert" -size 64x48 gradient:red-blue -type TrueColor rgb.jpg
"$convert" -size 40x30 gradient: -type Grayscale grey.jpg
"$convert" -size 32x24 gradient:red-blue -colorspace CMYK cmyk.jpg
# PNG files without dates or other text chunks: the same bytes at every build.
"$convert" -size 17x5 pattern:checkerboard -strip -define png:color-type=0 -define png:bit-depth=1 grey1.png
"$convert" -size 20x8 gradient: -alpha set -strip -define png:color-type=4 -define png:bit-depth=8 greyalpha8.png
"$convert" -size 22x10 gradient:red-blue -strip -define png:color-type=2 -define png:bit-depth=16 rgb16.png
"$convert" -size 25x13 pattern:checkerboard -strip -define png:color-type=3 -define png:bit-depth=2 palette2.png
"$convert" -size 24x24 gradient:red-blue -strip PNG32:rgba8.png
# Three frames over one global table of 16 colours.
"$convert" -size 20x10 gradient: -colors 16 -duplicate 2 anim.gif
"$convert" -size 7x5 gradient:red-blue -type TrueColor BMP3:rgb24.bmp
# A 32-bit bitmap whose height is then written as -6: its rows run top down.
"$convert" -size 4x6 xc:red -alpha set -define bmp3:alpha=true BMP3:topdown32.bmp
printf '\372\377\377\377' | dd of=topdown32.bmp bs=1 seek=22 conv=notrunc status=none
# Icons: two bitmap images (their heights count the mask rows); and a third, 256 pixels
# wide, stored as a PNG file.
"$convert" -size 16x16 xc:red -size 32x32 xc:none two.ico
"$convert" -size 16x16 xc:red -size 32x32 xc:none -size 256x256 xc:blue -define png:color-type=6 three.ico
"$convert" -size 30x20 gradient:red-blue -size 15x10 gradient: -size 8x8 xc:white -depth 8 -type TrueColor pages.tif
for copy in camera.jpg camera_be.jpg; do cp rgb.jpg $copy; done

tag() {
    file=$1
    shift
    "$exiftool" -q -overwrite_original -Make="PicdexCam" -Model="PX-100 Mark II" \
        -ExposureTime=1/125 -FNumber=5.6 -ISO=400 -ExposureCompensation=-2/3 -FocalLength=50 \
        -MaxApertureValue=2.8 -DateTimeOriginal="2008:05:01 10:20:30" \
        -CreateDate="2009:06:02 11:21:31" -GPSLatitude="48 30 36" -GPSLongitude="2 20 51" \
        -ExifImageWidth=640 -SubjectLocation="10 20" -UserComment="hey there" "$@" "$file"
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
    -GPSAltitudeRef=1 -GPSTimeStamp="10:20:30" "-ThumbnailImage<=grey.jpg"
tag pages.tif -GPSLatitudeRef=N -GPSLongitudeRef=W -GPSAltitude=7 -GPSAltitudeRef=0
touch stamp
