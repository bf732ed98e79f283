#!/usr/bin/env bash
# The package's /etc/logrotate.d/kestrix, run by the real logrotate on a
# verdict log of our own: its user and folder are the test's, all else is as
# shipped. Three weekly rotations keep the newest rotated log plain and
# compress the older ones. Skipped where logrotate is not installed.
# Usage: logrotate.sh PACKAGING_LOGROTATE
set -euo pipefail
shipped=$1
PATH=$PATH:/usr/sbin:/sbin
command -v logrotate >/dev/null || { echo "SKIP: logrotate is not installed"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/collection"
sed -e "s|/var/lib/kestrix/collection|$tmp/collection|" -e "s|su _kestrix _kestrix|su $(id -un) $(id -gn)|" \
  "$shipped" > "$tmp/kestrix"
grep -q "^$tmp/collection/verdicts.jsonl {" "$tmp/kestrix" && grep -q "su $(id -un) " "$tmp/kestrix" \
  || fail "$shipped: no verdict log or no su line to run it on"

logrotate -d -s "$tmp/state" "$tmp/kestrix" > "$tmp/debug" 2>&1 || fail "logrotate -d: $(cat "$tmp/debug")"
grep -q 'weekly (52 rotations)' "$tmp/debug" || fail "logrotate -d: $(cat "$tmp/debug")"

for week in 1 2 3; do
  echo "{\"week\":$week}" > "$tmp/collection/verdicts.jsonl"
  logrotate -f -s "$tmp/state" "$tmp/kestrix" > "$tmp/out" 2>&1 || fail "logrotate, week $week: $(cat "$tmp/out")"
done
[ "$(cd "$tmp/collection" && ls | tr '\n' ' ')" = "verdicts.jsonl.1 verdicts.jsonl.2.gz verdicts.jsonl.3.gz " ] \
  || fail "after three rotations: $(ls "$tmp/collection")"
[ "$(cat "$tmp/collection/verdicts.jsonl.1")" = '{"week":3}' ] && [ "$(zcat "$tmp/collection/verdicts.jsonl.3.gz")" = '{"week":1}' ] \
  || fail "the rotated logs do not hold the weeks in order"
echo "PASS: the verdict log rotates weekly, the newest rotated log plain, the older ones compressed"
