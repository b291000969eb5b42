#!/bin/sh
# Checks what the Windows program or its setup program carries inside: the six icon images, the
# version record and the manifest, read back from the exe with Debian's icoutils, and that it is a
# 32-bit GUI program.
# Usage: scripts/check-windows-exe.sh Brellimar.exe | --setup Brellimar-<version>-setup.exe
set -eu
export LC_ALL=C
if [ "$1" = --setup ]; then
    exe=$2
    # NSIS writes the record in the language's own code page (936) and structure version 0.
    fields="FileDescription Brellimar 安装程序|InternalName Brellimar-setup|OriginalFilename ${exe##*/}"
    language="Chinese (PRC), code page 936: 080403a8"
    structure="00 00 00 00"
else
    exe=$1
    fields="FileDescription Brellimar|InternalName Brellimar|OriginalFilename Brellimar.exe"
    language="Chinese (PRC), Unicode: 080404b0"
    structure="00 00 01 00"
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi; }

headers=$(i686-w64-mingw32-objdump -f -p "$exe")
check "32-bit i386 PE" 'echo "$headers" | grep -q "file format pei-i386"'
check "GUI subsystem" 'echo "$headers" | grep -q "^Subsystem.*(Windows GUI)"'

wrestool -x -t 14 "$exe" -o "$out/icon.ico"
icons=$(icotool -l "$out/icon.ico")
echo "$icons"
for size in 16 32 48; do
    check "${size}x$size in 256 colours" 'echo "$icons" | grep -q -- "--width=$size --height=$size --bit-depth=8 "'
    check "${size}x$size in 32-bit colour" 'echo "$icons" | grep -q -- "--width=$size --height=$size --bit-depth=32 "'
done
check "six icon images" '[ "$(echo "$icons" | wc -l)" -eq 6 ]'

wrestool -x --raw -t 16 "$exe" -o "$out/version.bin"
# The record's strings are UTF-16LE, each key followed by its value after NUL padding.
version=$(iconv -f UTF-16LE -t UTF-8 < "$out/version.bin" | tr '\000\001' '  ')
IFS='|'
for field in "FileVersion 1.00.0004" "ProductVersion 1.00.0004" "ProductName Brellimar" $fields; do
    check "$field" 'echo "$version" | grep -q "${field%% *}  *${field#* } "'
done
unset IFS
# VS_FIXEDFILEINFO: signature, structure version, then file and product version 1.0.0.4.
fixed=$(od -An -tx1 -v "$out/version.bin" | tr -d '\n' | tr -s ' ')
check "file and product version 1.0.0.4" \
    'echo "$fixed" | grep -q "bd 04 ef fe $structure 00 00 01 00 04 00 00 00 00 00 01 00 04 00 00 00"'
check "language $language" 'echo "$version" | grep -q " ${language##* } "'

wrestool -x --raw -t 24 "$exe" -o "$out/manifest.xml"
check "manifest asks for administrator rights" 'grep -q "level=\"requireAdministrator\"" "$out/manifest.xml"'
check "manifest declares Windows 10/11" 'grep -q "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" "$out/manifest.xml"'
exit $failed
