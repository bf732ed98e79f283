#!/usr/bin/env bash
# Receiving over 127.0.0.1: the receiver window's real handlers, run headless
# (receive_driver), against socat writing to a file; kestrix-send feeds both.
# Prints both throughputs, their ratio and the receiver's peak RSS for each size.
# Usage: bench/receive_bench.sh [BUILD_DIR]   (sizes in MiB: SIZES="10 1024", ROUNDS=3)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
sender=$build/tools/kestrix-send
driver=$build/bench/receive_driver
for tool in "$sender" "$driver"; do [ -x "$tool" ] || { echo "missing $tool: build first" >&2; exit 1; }; done
command -v socat >/dev/null || { echo "socat is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

tmp=$(mktemp -d)
receiver_pid=
cleanup() { [ -n "$receiver_pid" ] && kill "$receiver_pid" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT

# A port that no socket uses now.
free_port() {
  local port
  while :; do
    port=$(shuf -i 20000-39999 -n 1)
    grep -qi ":$(printf '%04X' "$port") " /proc/net/tcp /proc/net/tcp6 2>/dev/null || { echo "$port"; return; }
  done
}
listening() { grep -qi ":$(printf '%04X' "$1") 00000000:0000 0A" /proc/net/tcp; }
wait_listening() {
  for _ in $(seq 250); do listening "$1" && return 0; sleep 0.02; done
  echo "nothing listens on port $1" >&2; exit 1
}
now() { date +%s.%N; }

# Runs one receiver (the command after the arguments) and the sender; the
# output holds the file after skip bytes (socat keeps the header). Prints
# seconds and peak RSS in KiB.
measure() {
  local port=$1 output=$2 skip=$3; shift 3
  /usr/bin/time -f '%M' -o "$tmp/rss" "$@" >"$tmp/receiver.out" 2>"$tmp/receiver.err" &
  receiver_pid=$!
  wait_listening "$port"
  local start end
  start=$(now)
  "$sender" 127.0.0.1 "$port" "$tmp/source.bin" --name received.bin 2>"$tmp/sender.err" ||
    { cat "$tmp/sender.err" "$tmp/receiver.err" >&2; exit 1; }
  wait "$receiver_pid" || { cat "$tmp/receiver.err" >&2; exit 1; }
  receiver_pid=
  end=$(now)
  [ "$(stat -c %s "$output")" -eq $(($(stat -c %s "$tmp/source.bin") + skip)) ] &&
    cmp -s -i "$skip:0" "$output" "$tmp/source.bin" || { echo "received file differs" >&2; exit 1; }
  rm -f "$output"
  awk -v s="$start" -v e="$end" -v r="$(cat "$tmp/rss")" 'BEGIN { print e - s, r }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

mkdir -p "$tmp/program"
printf '%-8s %14s %14s %7s %16s %14s\n' "size" "kestrix MB/s" "socat MB/s" "ratio" "kestrix RSS MB" "socat RSS MB"
for mib in ${SIZES:-10 1024}; do
  head -c $((mib * 1048576)) /dev/urandom >"$tmp/source.bin"
  : >"$tmp/k" && : >"$tmp/s"
  header=$(printf 'FILEINFO|%d|received.bin|' $((mib * 1048576)) | wc -c)
  for _ in $(seq "${ROUNDS:-3}"); do
    port=$(free_port)
    measure "$port" "$tmp/program/received.bin" 0 "$driver" "$tmp/program" "$port" >>"$tmp/k"
    port=$(free_port)
    measure "$port" "$tmp/socat.bin" "$header" socat -u "TCP-LISTEN:$port,reuseaddr" "OPEN:$tmp/socat.bin,creat,trunc" >>"$tmp/s"
  done
  bytes=$((mib * 1048576))
  k_time=$(cut -d' ' -f1 "$tmp/k" | median)
  s_time=$(cut -d' ' -f1 "$tmp/s" | median)
  k_rss=$(cut -d' ' -f2 "$tmp/k" | sort -g | tail -n1)
  s_rss=$(cut -d' ' -f2 "$tmp/s" | sort -g | tail -n1)
  awk -v b="$bytes" -v kt="$k_time" -v st="$s_time" -v kr="$k_rss" -v sr="$s_rss" -v m="$mib" 'BEGIN {
    k = b / kt / 1e6; s = b / st / 1e6
    printf "%-8s %14.1f %14.1f %7.2f %16.1f %14.1f\n", m " MiB", k, s, k / s, kr / 1024, sr / 1024 }'
  rm -f "$tmp/source.bin"
done
echo "(median of ${ROUNDS:-3} rounds; each time runs from the sender's start to the receiver's exit and includes the sender's 100 ms pause after the header; RSS is the receiver's peak)"
