#!/bin/sh
# Writes a 16x16 32-bit .ico to $1, for compiling the program's resources
# before the real icon exists.
set -e
out=$1
{
    # ICONDIR: reserved, type 1 (icon), one image
    printf '\000\000\001\000\001\000'
    # ICONDIRENTRY: 16x16, no palette, 1 plane, 32 bpp, 1128 bytes at offset 22
    printf '\020\020\000\000\001\000\040\000\150\004\000\000\026\000\000\000'
    # BITMAPINFOHEADER: size 40, 16 wide, 32 high (colour + mask), 1 plane, 32 bpp
    printf '\050\000\000\000\020\000\000\000\040\000\000\000\001\000\040\000'
    printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
    # 256 opaque pixels (BGRA)
    i=0
    while [ $i -lt 256 ]; do
        printf '\300\140\040\377'
        i=$((i + 1))
    done
    # AND mask: 16 rows of 4 bytes, all visible
    i=0
    while [ $i -lt 16 ]; do
        printf '\000\000\000\000'
        i=$((i + 1))
    done
} > "$out"
