#!/usr/bin/env bash
# kestrix-collect under load against socat, on loopback: 10,000 transfers of
# a 5 KB descriptor from 8 senders at once. kestrix-collect reads each
# header, keeps each file under its player by way of a temporary file, checks
# it and appends its verdict; socat (TCP-LISTEN with fork) only writes each
# connection to a file of its own. Transfers per second and p50 and p99 from
# connect to the collector's STORED answer, which comes once the verdict is
# written, or to socat's close; the collector's peak RSS after 1,000
# transfers and after 10,000. The collector runs with a roster of 8 players,
# each sender one of them proving its token from an address of its own, and
# league rules. Another row: worst-case 64 KiB descriptors of one-byte lines
# among them, with the event loop's longest stall and the verdict log's
# growth a file. And the league page: the same senders with 50 readers of its
# live events, the time from a verdict to its event, and the time to read a
# history of 100,000 records at start. And notifications: the same senders
# with a webhook that takes each connection and never answers, each tweaked
# verdict a message for it.
# The proven players under attack, each attacker connecting again once
# closed: 64 peers from 8 addresses dripping a header they never end; 304
# silent connections, 8 from each of 38 addresses, in a queue of 256
# (--max-pending), which they keep full; 64 peers from 8 addresses claiming a
# player with a wrong proof, then a header of about 1 KB at 300 bytes a
# second. p50, p99 and the longest time from connect to STORED, each beside
# its target, and the same senders without an attack beside them.
# Usage: bench/collect_bench.sh [BUILD_DIR] [attacks]   (a Release build is
# best; "attacks": the rows under attack only)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
data=$(cd "$(dirname "$0")/../data" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
count=10000
senders=8

"$build/tools/kestrix-stage" "$data" "$work/program" "$build/tools/kestrix-collect"
descriptor="$data/Cars/Brackwell/BrackwellDescriptor.txt"

# The league: 8 players, a token each, and a rule.
: > "$work/roster.toml"
: > "$work/tokens"
for n in $(seq 0 $((senders - 1))); do
  "$build/tools/kestrix-collect" --new-token "p$n" > "$work/made"
  tail -n +2 "$work/made" >> "$work/roster.toml"
  echo "p$n $(head -1 "$work/made")" >> "$work/tokens"
done
chmod 600 "$work/roster.toml"
printf '[[allow]]\ncar = "Brackwell"\nsection = "Engine"\nkey = "Torque"\nmin = 400\nmax = 520\n' > "$work/rules.toml"
jobs=$(nproc)
league=(--roster "$work/roster.toml" --tokens "$work/tokens" --rules "$work/rules.toml" --jobs "$jobs")

# Long enough for the attackers to meet the opening timeout (5 s) again and again.
attacked=2000
attack_rows=()
# NAME DRIVER_OPTIONS...: one row of the players under attack.
under_attack() {
  local name=$1 p50 p99 longest stored unstored closed
  shift
  read -r _ _ _ p50 p99 _ _ _ _ _ stored unstored closed _ _ _ longest < <("$build/bench/collect_driver" collect \
    "$work/program/kestrix-collect" "$work/program" "$work/attack-${#attack_rows[@]}" "$descriptor" "$attacked" "$senders" \
    "${league[@]}" "$@")
  attack_rows+=("$(printf '| %-46s | %7s | %7s | %7s | %9s | %6s | %4s | %16s |' "$name" "$p50" "$p99" "$longest" "p99 <= 50" \
    "$stored" "$unstored" "$closed")")
}
under_attack "none: the same senders alone, for comparison"
under_attack "64 peers trickling a header" --trickle 64
under_attack "304 silent from 38 addresses, queue of 256" --silent 304 --max-pending 256
under_attack "64 wrong proofs, then headers at 300 B/s" --wrong-proof 64
print_attacks() {
  echo
  echo "$attacked transfers from $senders proven players under attack, ms from connect to STORED"
  printf '| %-46s | %7s | %7s | %7s | %9s | %6s | %4s | %16s |\n' "" "p50" "p99" "max" "target" "STORED" "not" "attackers closed"
  printf '| %-46s | %7s | %7s | %7s | %9s | %6s | %4s | %16s |\n' "----" "----" "----" "----" "----" "----" "----" "----"
  printf '%s\n' "${attack_rows[@]}"
}
if [ "${2:-}" = attacks ]; then
  print_attacks
  exit 0
fi

read -r _ cs crate p50 p99 rss1k rss10k verdicts _ _ answered unanswered _ < <("$build/bench/collect_driver" collect \
  "$work/program/kestrix-collect" "$work/program" "$work/collected" "$descriptor" "$count" "$senders" "${league[@]}")
stored=$(find "$work/collected" -type f -name '*-BrackwellDescriptor.txt' | wc -l)

# The same, with the league page served and 50 browsers' worth of readers
# of its live events.
read -r _ ls lrate lp50 lp99 _ _ _ _ _ lanswered lunanswered _ lheard ldelay50 ldelay99 _ < <("$build/bench/collect_driver" collect \
  "$work/program/kestrix-collect" "$work/program" "$work/listened" "$descriptor" "$count" "$senders" "${league[@]}" --listeners 50)

# The same, each verdict posted to a webhook that never answers: a socket
# that listens and never accepts, so each try waits its 10 s out.
python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1024)
print(s.getsockname()[1], flush=True); time.sleep(86400)' > "$work/webhook.port" &
until [ -s "$work/webhook.port" ]; do sleep 0.01; done
echo "http://127.0.0.1:$(cat "$work/webhook.port")/never" > "$work/notify"
chmod 600 "$work/notify"
read -r _ ns nrate np50 np99 _ _ _ _ _ nanswered nunanswered _ < <("$build/bench/collect_driver" collect \
  "$work/program/kestrix-collect" "$work/program" "$work/notified" "$descriptor" "$count" "$senders" "${league[@]}" \
  --notify-file "$work/notify")
nstored=$(find "$work/notified" -type f -name '*-BrackwellDescriptor.txt' | wc -l)
ndropped=$(grep -c 'more wait for the address already' "$work/notified.events" || true)

# The league page's history, read at start from 100,000 verdict records.
mkdir "$work/history"
for _ in $(seq $((100000 / count))); do cat "$work/collected/verdicts.jsonl"; done > "$work/history/verdicts.jsonl"
records=$(wc -l < "$work/history/verdicts.jsonl")
began=$(date +%s%N)
"$work/program/kestrix-collect" --json --port 0 --dir "$work/history" --folder "$work/program" \
  --roster "$work/roster.toml" --http 0 > "$work/history.events" &
until grep -q '"listening"' "$work/history.events"; do sleep 0.01; done
history_ms=$(( ($(date +%s%N) - began) / 1000000 ))
history_rss=$(awk '/VmHWM/ { print $2 }' "/proc/$!/status")
kill $!

worst=500
every=5
read -r _ ws wrate wp50 wp99 _ wrss wverdicts stall logbytes wanswered wunanswered _ < <("$build/bench/collect_driver" collect \
  "$work/program/kestrix-collect" "$work/program" "$work/worst" "$descriptor" "$worst" "$senders" "${league[@]}" --worst "$every")
# Records by the size the file was announced at: a line's bytes on average.
record_bytes() { mawk -v size="\"size\":$2[,}]" '$0 ~ size { n++; b += length($0) + 1 } END { printf "%.0f", (n ? b / n : 0) }' "$1"; }
tweaked_record=$(record_bytes "$work/worst/verdicts.jsonl" "$(stat -c %s "$descriptor")")
worst_record=$(record_bytes "$work/worst/verdicts.jsonl" 65536)

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
echo "$count transfers of $(stat -c %s "$descriptor") bytes from $senders senders at once ($stored kept, $verdicts verdicts, $answered answered STORED, $unanswered not; socat wrote $written files); $jobs checking threads"
row "" "seconds" "per s" "p50 ms" "p99 ms" "RSS at 1k" "RSS at end"
row "----" "----" "----" "----" "----" "----" "----"

row "kestrix-collect (players, rules)" "$cs" "$crate" "$p50" "$p99" "${rss1k} KB" "${rss10k} KB"
row "collect, --http, 50 listeners" "$ls" "$lrate" "$lp50" "$lp99" "-" "-"
row "collect, webhook never answers" "$ns" "$nrate" "$np50" "$np99" "-" "-"
row "socat fork, a file each" "$ss" "$srate" "$sp50" "$sp99" "-" "-"
row "collect, 1 in $every worst-case ($worst)" "$ws" "$wrate" "$wp50" "$wp99" "-" "${wrss} KB"
echo
echo "collect / socat, transfers per second: $(ratio "$crate" "$srate") (target >= 0.5)"
echo "p99 from connect to verdict: $p99 ms (target <= 50)"
echo "RSS growth from 1,000 to 10,000: $(ratio "$((rss10k - rss1k))" "$rss1k") (target <= 0.10, peak <= 64 MB)"
echo "the event loop's longest stall with worst-case descriptors: $stall ms with $jobs checking threads (target <= 10; $wverdicts verdicts, $wanswered STORED, $wunanswered not)"
echo "with 50 readers of /events: $(ratio "$lrate" "$crate") of the transfers per second without (target >= 0.9); $lheard events heard, from verdict to event p50 $ldelay50 ms, p99 $ldelay99 ms ($lanswered STORED, $lunanswered not)"
echo "with a webhook that never answers: $(ratio "$nrate" "$crate") of the transfers per second without (target >= 0.9); $nstored kept, $nanswered STORED, $nunanswered not, $ndropped notifications dropped from the full queue"
echo "the league page's history from $records records: listening after $history_ms ms, peak RSS $history_rss KB"
echo "verdicts.jsonl a file: $tweaked_record bytes for the tweaked one, $worst_record for a worst-case one, $logbytes in all (target: a few KB)"
print_attacks
