#!/usr/bin/env bash
# Installs from Debian's packages whatever Kestrix needs to build, run and test.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-httpserver-dev qt6-websockets-dev libsqlite3-dev mdbtools-dev libdtl-dev libtomlplusplus-dev
  libsodium-dev zlib1g-dev
  xvfb xdotool imagemagick fonts-dejavu-core fonts-liberation2 xdg-utils
  socat mawk time
  chromium python3 python3-jsonschema poppler-utils fonts-symbola
  g++-mingw-w64-x86-64-posix wine wine64 zip
  dpkg-dev file help2man lintian man-db systemd logrotate
)
# --fuzz: also clang and its libFuzzer runtime, for the fuzz targets only.
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-14-dev)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
