#!/usr/bin/env bash
# Cross-builds kestrix-send.exe for players on Windows and packs it with an
# example kestrix-send.ini and a README into BUILD_DIR/dist/kestrix-send-windows.zip.
#   bash scripts/build-windows-sender.sh [BUILD_DIR]     (default: build)
# Needs Debian's g++-mingw-w64-x86-64-posix and zip (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath -m "${1:-build}")
for tool in x86_64-w64-mingw32-g++-posix zip; do
  command -v "$tool" >/dev/null || { echo "build-windows-sender.sh: $tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done
version=$(sed -n 's/^project(Kestrix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
sender_dir=$build_dir/windows-sender
cmake -S cmake/windows-sender -B "$sender_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKESTRIX_SOURCE_DIR="$PWD" -DKESTRIX_VERSION="$version" >/dev/null
cmake --build "$sender_dir" -j2

# Only Windows' own DLLs: a player has nothing else to install.
imports=$(x86_64-w64-mingw32-objdump -p "$sender_dir/tools/kestrix-send.exe" | sed -n 's/^\s*DLL Name: //p')
foreign=$(grep -viE '^(kernel32|msvcrt|ws2_32|user32|advapi32|shell32|bcrypt)\.dll$' <<<"$imports" || true)
[ -z "$foreign" ] || { echo "build-windows-sender.sh: kestrix-send.exe needs DLLs a player lacks: $foreign" >&2; exit 1; }

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
cp "$sender_dir/tools/kestrix-send.exe" "$staging/"
# Windows' Notepad and a player's eyes expect CR LF.
sed 's/$/\r/' tools/send/player/kestrix-send.ini >"$staging/kestrix-send.ini"
sed 's/$/\r/' tools/send/player/README.txt >"$staging/README.txt"
mkdir -p "$build_dir/dist"
rm -f "$build_dir/dist/kestrix-send-windows.zip"
(cd "$staging" && zip -q -X "$build_dir/dist/kestrix-send-windows.zip" kestrix-send.exe kestrix-send.ini README.txt)
echo "$build_dir/dist/kestrix-send-windows.zip"
