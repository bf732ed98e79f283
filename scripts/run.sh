#!/usr/bin/env bash
# Installs what is missing, builds, stages the sample program folder and starts Kestrix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}/program"
exec ./kestrix
