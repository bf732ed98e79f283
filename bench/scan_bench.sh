#!/usr/bin/env bash
# Scan benchmark: the scan core against grep and a mawk hash join on the same
# generated data, then its growth in lines and in reference size, then the
# cost of logging when every line is a tweak.
# Usage: bench/scan_bench.sh [BUILD_DIR]   (a Release build is best)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
refbuild=$build/tools/kestrix-refbuild
bench=$build/bench/scan_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# N parameter lines, CR LF ended, in key order.
keys() { mawk -v n="$1" 'BEGIN { srand(7); for (i = 0; i < n; i++) printf "Param%07d=%d.%03d\r\n", i, int(rand() * 10000), int(rand() * 1000) }'; }
shuffled() { shuf --random-source=<(yes) "$@"; }
# "seconds KB" of one command (output to /dev/null).
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || true; tail -n1 "$work/time"; }
reference() { : >"$work/none"; "$refbuild" "$2" "$1" "$work/none" "$work/none" "$work/none" "$work/none" "$work/none"; }

echo "Generating data in $work ..."
keys 1000000 >"$work/keys1m"
keys 10000 >"$work/keys10k"
reference "$work/keys1m" "$work/ref1m.mdb"
reference "$work/keys10k" "$work/ref10k.mdb"
shuffled "$work/keys1m" >"$work/lines1m"
head -n 100000 "$work/lines1m" >"$work/lines100k"
head -n 10000 "$work/lines1m" >"$work/lines10k"
shuffled "$work/keys10k" >"$work/lines10k-of-10k"
head -n 100000 "$work/lines1m" | sed 's/^Param/Tweak/' >"$work/tweaks100k"

row() { printf '%-44s %9s %10s %s\n' "$@"; }
ratio() { mawk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
scan() { rm -f "$work/log"; measure "$bench" scan "$1" Car1 "$2" "$work/log"; }

echo
echo "== scale: 1,000,000 genuine lines against 1,000,000 keys"
row "" "seconds" "peak KB" ""
read -r ks km < <(scan "$work/ref1m.mdb" "$work/lines1m")
read -r ms mm < <(measure mawk 'NR==FNR{a[$0];next} !($0 in a)' "$work/keys1m" "$work/lines1m")
read -r gs gm < <(measure grep -Fxvf "$work/keys1m" "$work/lines1m")
row "kestrix scan core" "$ks" "$km"
row "mawk hash join" "$ms" "$mm"
row "grep -Fxvf" "$gs" "$gm"
row "kestrix / mawk" "$(ratio "$ks" "$ms")" "$(ratio "$km" "$mm")" "(targets: time <= 0.5, memory <= 0.25)"
row "kestrix / grep" "$(ratio "$ks" "$gs")" "$(ratio "$km" "$gm")"

echo
echo "== growth"
row "" "seconds" "peak KB" ""
for n in 10k 100k 1m; do
  read -r s m < <(scan "$work/ref1m.mdb" "$work/lines$n")
  row "lines $n, 1M-key reference" "$s" "$m"
done
read -r s m < <(scan "$work/ref10k.mdb" "$work/lines10k-of-10k")
row "lines 10k, 10k-key reference" "$s" "$m"
read -r s m < <(scan "$work/ref1m.mdb" "$work/lines10k")
row "lines 10k, 1M-key reference" "$s" "$m"

echo
echo "== tweak-heavy: 100,000 lines, every one logged"
# The programs' own timings of the loop alone, the median of five runs each,
# taken in turns so that a busy moment weighs on both alike.
median() { sort -g | mawk '{ v[NR] = $1 } END { printf "%.3f\n", v[int((NR + 1) / 2)] }'; }
: >"$work/scans"
: >"$work/floors"
for _ in 1 2 3 4 5; do
  rm -f "$work/log" "$work/floor-log"
  "$bench" scan "$work/ref10k.mdb" Car1 "$work/tweaks100k" "$work/log" | mawk '{ print $3 }' >>"$work/scans"
  "$bench" floor "$work/tweaks100k" "$work/floor-log" | mawk '{ print $2 }' >>"$work/floors"
done
cmp -s "$work/log" "$work/floor-log" || { echo "the floor did not write the log the scan wrote" >&2; exit 1; }
ts=$(median <"$work/scans")
fs=$(median <"$work/floors")
row "" "seconds" "" ""
row "kestrix scan core" "$ts"
row "open(O_APPEND)-write-close, same records" "$fs"
row "kestrix / floor" "$(ratio "$ts" "$fs")" "" "(target <= 1.5)"
