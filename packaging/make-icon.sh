#!/bin/sh
# Makes varnock.ico, the Windows program's icon, from the scalable icon
# beside it, and is run by hand whenever that changes; the .ico is kept in
# the sources, so the build needs no rasteriser. Three sizes, 16, 32 and 48
# pixels, as Explorer shows them, each a PNG stored as it is inside the .ico:
# about a kilobyte in all, where uncompressed bitmaps would take 15.
# Needs rsvg-convert (librsvg2-bin), optipng and icotool (icoutils).
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 32 48; do
  rsvg-convert -w $size -h $size example.varnock.Varnock.svg -o "$work/$size.png"
  # Smaller, and still 32-bit RGBA: the safe form of a PNG inside an icon.
  optipng -quiet -o7 -nc -nb -strip all "$work/$size.png"
done
icotool -c -o varnock.ico --raw="$work/16.png" --raw="$work/32.png" --raw="$work/48.png"
