#!/usr/bin/env bash
# One default port for a league: the service's collect.conf listens where the
# players' example kestrix-send.ini sends.
# Usage: default_port.sh SOURCE_DIR
set -euo pipefail
source=$1
service=$(sed -n 's/^KESTRIX_COLLECT_OPTIONS=.*--port \([0-9]*\).*/\1/p' "$source/packaging/collect.conf")
players=$(sed -n 's/^port *= *\([0-9]*\).*/\1/p' "$source/tools/send/player/kestrix-send.ini")
[ "$service" = 5000 ] && [ "$players" = 5000 ] \
  || { echo "FAIL: collect.conf listens on \"$service\", kestrix-send.ini sends to \"$players\"; both should be 5000" >&2; exit 1; }
echo "PASS: collect.conf and kestrix-send.ini agree on port 5000"
