#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
# --sanitize: the same in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  export BUILD_DIR=${BUILD_DIR:-build-sanitize} BUILD_TYPE=Debug
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  bash scripts/build.sh -DKESTRIX_SANITIZE=ON -DKESTRIX_WERROR=ON
else
  bash scripts/build.sh -DKESTRIX_WERROR=ON
fi
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2
