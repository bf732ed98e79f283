#!/usr/bin/env bash
# Runs the whole suite as an unprivileged user (nobody), as root, over a copy
# of the source tree that user owns: root passes every permission check, so
# only this run really tries the cases about permissions.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "test-unprivileged.sh: run it as root; it drops to nobody itself" >&2; exit 2; }
bash scripts/install-deps.sh

copy=$(mktemp -d /tmp/kestrix-unprivileged.XXXXXX)
trap 'rm -rf "$copy"' EXIT
tar --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$copy" -xf -
chown -R nobody:nogroup "$copy"
cd "$copy"
setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env HOME="$copy" TMPDIR=/tmp PATH="$PATH" bash scripts/test.sh "$@"
