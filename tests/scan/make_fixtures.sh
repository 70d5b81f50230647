#!/bin/sh
# The scan tests' files, made in folder $1 when the tests are built.
# Scanner trees: c/ and n/ (two albums of three pictures and a text file each; n/ also as
# the NTFS image n.img), odd/ (three albums, and in "a first/" a picture and a FIFO named
# .jpg). The pictures are 8 x 8 JPEGs of three kinds in turn: EXIF, GPS and IPTC (Canon,
# July 2008), EXIF only (Nikon), no metadata.
# Reader trees: tree/ (pictures in the root, nested, in Unicode names, 14 folders down,
# and 41 names of one file; notes.txt and photo.jpeg beside them) and many/ (3000
# pictures, folder paths of 1023 and 1024 characters), as NTFS images tree-<cluster>.img
# at three cluster sizes and many.img.
set -eu
here=$(dirname "$0")
rm -rf "$1"
mkdir -p "$1"
cd "$1"
for k in 0 1 2; do convert -size 8x8 xc:gray kind$k.jpg; done
exiftool -q -overwrite_original -Make=Canon -Model='Canon EOS 5D' -ISO=200 -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=11.25 -GPSLongitudeRef=E -CreateDate='2008:07:14 10:20:30' -IPTC:City=Starnberg kind0.jpg
exiftool -q -overwrite_original -Make='NIKON CORPORATION' -Model='NIKON D90' -ISO=400 kind1.jpg
exiftool -q -overwrite_original -all= kind2.jpg
for tree in c:2 n:2 odd:3; do
  for f in $(seq 0 $((${tree#*:} - 1))); do
    album=${tree%:*}/group00/album00$f
    mkdir -p "$album"
    printf 'not a picture' >"$album/notes.txt"
    for i in 0 1 2; do cp kind$(((f + i) % 3)).jpg "$album/img10$i.jpg"; done
  done
done
mkdir "odd/a first"
cp kind0.jpg "odd/a first/refused.jpg"
mkfifo "odd/a first/pipe.jpg"
sh "$here/ntfs_make_image.sh" n n.img 32

deep=tree/$(seq -s/ -f d%g 1 14)
mkdir -p tree/Photos/2008/sub.jpg tree/Ünï tree/Links "$deep"
for p in root.jpg Photos/2008/a.jpg Photos/2008/sub.jpg/c.gif Ünï/日本.jpg Ünï/😀.jpg "${deep#tree/}/deep.tif"; do
  printf picture >"tree/$p"
done
head -c 100000 /dev/zero | tr '\0' p >tree/Photos/2008/B.PNG
printf 'not a picture' | tee tree/notes.txt >tree/photo.jpeg
touch -d @1209643200 tree/Photos/2008/a.jpg
ln tree/Photos/2008/a.jpg tree/Links/link-0.txt
for i in $(seq 1 40); do ln tree/Photos/2008/a.jpg "tree/Links/link-$i.jpg"; done
for d in $(seq 0 39); do mkdir -p many/d$d; done
for f in $(seq 0 2999); do printf m >many/d$((f % 40))/f$f.jpg; done
line() { printf "%$2s" | tr ' ' "$1"; }
long=many/$(line a 200)/$(line b 200)/$(line c 200)/$(line d 200)
mkdir -p "$long/$(line e 216)" "$long/$(line f 217)"
printf m >"$long/$(line e 216)/fits.jpg"
printf m >"$long/$(line f 217)/too-long.jpg"
for cluster in 512 4096 65536; do sh "$here/ntfs_make_image.sh" tree tree-$cluster.img 20 $cluster; done
sh "$here/ntfs_make_image.sh" many many.img 20 4096
touch stamp
