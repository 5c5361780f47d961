#!/usr/bin/env bash
# Renders the SVG drawings in icons-src/ into the bitmaps the program and its installation use.
# The results are committed, so building the panel does not need these tools; run this script
# again after changing a drawing.
#
# Needs (Debian 12): librsvg2-bin (rsvg-convert), imagemagick (convert), python3.
#
#   images/<name>.png                       tool-bar icons, 128 x 128, 8-bit RGBA
#   images/lumarvethon-<N>.png              product icon, N x N, for the desktop icon theme
#                                           (the hicolor sizes 16 to 256)
#   images/Lumarvethon_Icon_only@500x.ico   Windows icon file: that same 256 x 256 PNG, once
#   ../images/Lumarvethon_Icon_only@500x.png  window icon read from the working directory
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$here/icons-src
out=$here/images
root=$(cd "$here/.." && pwd)
mkdir -p "$out" "$root/images"

# rsvg-convert draws with antialiasing; ImageMagick then writes the file. PNG32: forces colour
# type 6 with 8 bits per channel (ImageMagick would otherwise pick a palette or grey type for
# simple pictures), and the stripped metadata keeps a re-run byte-identical.
render() { # svg size png
    rsvg-convert --width "$2" --height "$2" --keep-aspect-ratio "$1" \
        | convert - -strip -define png:exclude-chunks=date,time,tIME -depth 8 "PNG32:$3"
}

for name in connect disconnect settings clear application-exit; do
    render "$src/$name.svg" 128 "$out/$name.png"
done
for size in 16 22 24 32 48 64 128 256; do
    render "$src/lumarvethon.svg" "$size" "$out/lumarvethon-$size.png"
done
render "$src/lumarvethon.svg" 500 "$root/images/Lumarvethon_Icon_only@500x.png"

# ImageMagick stores ICO images as BMP; Windows shows 256 x 256 entries best as PNG, so the
# icon file is put together here: ICONDIR (reserved 0, type 1, one image), one ICONDIRENTRY
# (width and height 0 meaning 256, no palette, 1 plane, 32 bits, size, offset 22), the PNG.
python3 - "$out/lumarvethon-256.png" "$out/Lumarvethon_Icon_only@500x.ico" <<'PY'
import struct, sys
png = open(sys.argv[1], 'rb').read()
header = struct.pack('<HHH', 0, 1, 1)
entry = struct.pack('<BBBBHHII', 0, 0, 0, 0, 1, 32, len(png), 6 + 16)
with open(sys.argv[2], 'wb') as f:
    f.write(header + entry + png)
PY
