#!/usr/bin/env bash
# Installs what is missing, builds, and makes the three artefacts in
# BUILD_DIR/dist (default: build/dist): the Debian package for a league's
# server (checked by lintian), the Windows sender's zip and the portable
# program folder for the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
bash scripts/build.sh
cmake --build "$build_dir" -j2 --target portable

rm -f "$build_dir"/dist/kestrix_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
rm -rf "$build_dir/dist/_CPack_Packages"
deb=$(ls "$build_dir"/dist/kestrix_*.deb)
echo "$deb"
lintian --fail-on error "$deb"

bash scripts/build-windows-sender.sh "$build_dir"
