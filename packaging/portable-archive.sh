#!/usr/bin/env bash
# Packs a staged program folder as the portable archive: the programs
# stripped, the reference data's dates kept, and a README naming the Debian
# packages of the libraries the programs load.
# Usage: portable-archive.sh PROGRAM_FOLDER ARCHIVE.tar.gz
set -euo pipefail
folder=$1 archive=$2
name=$(basename "$folder")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -a "$folder" "$work/$name"
programs=()
for file in "$work/$name"/*; do
  [ -x "$file" ] && programs+=("$file")
done
strip "${programs[@]}"

# dpkg-shlibdeps reads the packages' shlibs and symbols files; it wants a
# debian/control beside it, as in a source package.
mkdir -p "$work/shlibs/debian"
touch "$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "${programs[@]}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
packages=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//; /^$/d' | sort -u | tr '\n' ' ')
[ -n "$packages" ] || { echo "portable-archive.sh: no library package found for the programs" >&2; exit 1; }
sed "s|@PACKAGES@|${packages% }|; s|@NAME@|$name|g" "$(dirname "$0")/portable-README.txt" > "$work/$name/README.txt"

mkdir -p "$(dirname "$archive")"
tar --owner=0 --group=0 --numeric-owner --sort=name -C "$work" -czf "$archive.tmp" "$name"
mv "$archive.tmp" "$archive"
echo "$archive"
