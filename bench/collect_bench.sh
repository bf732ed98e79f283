#!/usr/bin/env bash
# kestrix-collect under load against socat, on loopback: 10,000 transfers of
# a 5 KB descriptor from 8 senders at once. kestrix-collect reads each
# header, keeps each file under its sender by way of a temporary file, checks
# it and appends its verdict; socat (TCP-LISTEN with fork) only writes each
# connection to a file of its own. Transfers per second and p50 and p99 from
# connect to the receiver's close (for the collector, which closes once the
# verdict is written, that bounds connect to verdict written) for both; the
# collector's peak RSS after 1,000 transfers and after 10,000.
# Usage: bench/collect_bench.sh [BUILD_DIR]   (a Release build is best)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
data=$(cd "$(dirname "$0")/../data" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
count=10000
senders=8

"$build/tools/kestrix-stage" "$data" "$work/program" "$build/tools/kestrix-collect"
descriptor="$data/Cars/Brackwell/BrackwellDescriptor.txt"

read -r _ cs crate p50 p99 rss1k rss10k verdicts < <("$build/bench/collect_driver" collect \
  "$work/program/kestrix-collect" "$work/program" "$work/collected" "$descriptor" "$count" "$senders")
stored=$(find "$work/collected" -type f -name '*-BrackwellDescriptor.txt' | wc -l)

free_port() {
  while :; do
    port=$(shuf -i 20000-39999 -n 1)
    grep -qi ":$(printf '%04X' "$port") " /proc/net/tcp /proc/net/tcp6 2>/dev/null || { echo "$port"; return; }
  done
}
port=$(free_port)
mkdir "$work/socat"
socat "TCP-LISTEN:$port,fork,reuseaddr,backlog=256" "SYSTEM:exec cat > \"\$(mktemp -p $work/socat)\"" &
for _ in $(seq 100); do grep -qi ":$(printf '%04X' "$port") 00000000:0000 0A" /proc/net/tcp && break; sleep 0.05; done
read -r _ ss srate sp50 sp99 _ < <("$build/bench/collect_driver" raw "$port" "$descriptor" "$count" "$senders")
sleep 1
written=$(find "$work/socat" -type f | wc -l)

ratio() { mawk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() { printf '| %-34s | %9s | %8s | %8s | %8s | %11s | %11s |\n' "$@"; }
echo
echo "$count transfers of $(stat -c %s "$descriptor") bytes from $senders senders at once ($stored kept, $verdicts verdicts; socat wrote $written files)"
row "" "seconds" "per s" "p50 ms" "p99 ms" "RSS at 1k" "RSS at 10k"
row "----" "----" "----" "----" "----" "----" "----"
row "kestrix-collect (header, check)" "$cs" "$crate" "$p50" "$p99" "${rss1k} KB" "${rss10k} KB"
row "socat fork, a file each" "$ss" "$srate" "$sp50" "$sp99" "-" "-"
echo
echo "collect / socat, transfers per second: $(ratio "$crate" "$srate") (target >= 0.5)"
echo "p99 from connect to verdict: $p99 ms (target <= 50)"
echo "RSS growth from 1,000 to 10,000: $(ratio "$((rss10k - rss1k))" "$rss1k") (target <= 0.10, peak <= 64 MB)"
