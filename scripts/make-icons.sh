#!/bin/sh
# Regenerates the window icon's images from app/icons/brellimar.svg:
# 16, 32 and 48 pixel PNGs, and the Windows .ico holding each size in 256 colours and in
# 32-bit colour with alpha. Needs librsvg2-bin, imagemagick and icoutils.
set -eu
cd "$(dirname "$0")/../app/icons"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
set --
for size in 16 32 48; do
    rsvg-convert -w "$size" -h "$size" brellimar.svg -o "brellimar-$size.png"
    # 256 colours: a palette of 255 plus the transparent index.
    /usr/bin/convert "brellimar-$size.png" -alpha on -channel A -threshold 50% +channel \
        -colors 255 "PNG8:$tmp/pal-$size.png"
    set -- "$@" -b 8 "$tmp/pal-$size.png" -b 32 "brellimar-$size.png"
done
icotool -c -o brellimar.ico "$@"
icotool -l brellimar.ico
