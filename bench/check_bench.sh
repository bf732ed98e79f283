#!/usr/bin/env bash
# kestrix-check against what league servers and scripts do today, on 10,000
# players' descriptors (the six genuine sample files, 1% of them tweaked):
# sha256sum over the same files (it can only say yes or no), both as find
# piped to it, which finds the files as the checker must, and given the list
# made beforehand; and a mawk join of each file against its genuine lines.
# Wall time and peak RSS (median of three runs), and the checker's RSS at
# 1,000 files against 10,000. Then one hostile file: 64 KiB of one-byte
# lines under one of the car's sections (each line a value added), and the
# same with lone LFs, which are read both ways, and with every other line a
# control byte (damage throughout one long stretch of the diff).
# Usage: bench/check_bench.sh [BUILD_DIR]   (a Release build is best)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
data=$(cd "$(dirname "$0")/../data" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

"$build/tools/kestrix-stage" "$data" "$work/program" "$build/tools/kestrix-check"
checker="$work/program/kestrix-check"

# players/pNNNNN/Cars/<Car>/<descriptor>, the cars in turn; every 100th
# player's copy has its Torque line tweaked.
generate() {
  local players=$1 root=$2
  mawk -v n="$players" -v root="$root" '
    BEGIN { split("Brackwell/BrackwellDescriptor.txt DunMarr/DunMarrDescriptor.txt Skelder4/Skelder4Descriptor.txt " \
                  "Grelm/Grelmdescriptor.txt Puddlewick/Puddlewickdescriptor.txt OldGrist/OldGristdescriptor.txt", files, " ") }
    FNR == 1 { car++ }
    { line[car, FNR] = $0; count[car] = FNR }
    END {
      for (i = 0; i < n; i++) {
        c = i % 6 + 1
        path = sprintf("%s/p%05d/Cars/%s", root, i, files[c])
        for (l = 1; l <= count[c]; l++) {
          text = line[c, l]
          if (i % 100 == 7 && text ~ /^Torque=/) text = "Torque=999.9\r"
          print text > path
        }
        close(path)
      }
    }' "$data"/genuine/{Brackwell,DunMarr,Skelder4,Grelm,Puddlewick,OldGrist}.dat
}
prepare() {
  mawk -v n="$1" -v root="$2" 'BEGIN { split("Brackwell DunMarr Skelder4 Grelm Puddlewick OldGrist", cars, " ")
    for (i = 0; i < n; i++) printf "%s/p%05d/Cars/%s\n", root, i, cars[i % 6 + 1] }' | xargs mkdir -p
  generate "$1" "$2"
}

echo "Generating 10,000 and 1,000 players' descriptors in $work ..."
prepare 10000 "$work/players10k"
prepare 1000 "$work/players1k"
find "$work/players10k" -type f | sort > "$work/files10k"

# "seconds KB" of one command, output to /dev/null; median of three runs.
measure() {
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || true
    tail -n1 "$work/time"
  done | sort -n | sed -n 2p
}
sha_listed() { xargs -d '\n' sha256sum < "$work/files10k"; }
sha_found() { find "$work/players10k" -type f -print0 | xargs -0 sha256sum; }
join_each() {
  while read -r file; do
    car=$(basename "$(dirname "$file")")
    mawk 'NR==FNR { genuine[$0]; next } !($0 in genuine)' "$work/program/$car.dat" "$file"
  done < "$work/files10k"
}
export -f sha_listed sha_found join_each
export work

# A league's rules of 20 allows, of each kind, over every car.
for i in $(seq 1 5); do
  printf '[[allow]]\ncar = "*"\nsection = "Gearbox"\nkey = "GearRatio%s"\n\n' "$i"
  printf '[[allow]]\ncar = "Brackwell"\nsection = "Engine"\nkey = "BoostBar"\nmin = 0.%s\nmax = 0.9\n\n' "$i"
  printf '[[allow]]\ncar = "*"\nsection = "Tyres"\nkey = "Compound"\nvalues = ["Soft", "Medium", "Hard"]\n\n'
  printf '[[allow]]\ncar = "*"\nsection = "Sound"\nkey = "*"\noptional = true\n\n'
done > "$work/rules.toml"

read -r c1s c1m < <(measure "$checker" --jobs 1 "$work/players10k")
read -r r1s r1m < <(measure "$checker" --jobs 1 --rules "$work/rules.toml" "$work/players10k")
read -r c2s c2m < <(measure "$checker" --jobs 2 "$work/players10k")
read -r k1s k1m < <(measure "$checker" --jobs 1 "$work/players1k")
read -r k2s k2m < <(measure "$checker" --jobs 2 "$work/players1k")
read -r shs shm < <(measure bash -c sha_found)
read -r sls slm < <(measure bash -c sha_listed)
read -r mjs mjm < <(measure bash -c join_each)

# 64 KiB descriptors of one-byte lines, one player each.
hostile() {
  local folder="$work/hostile-$1/p"
  mkdir -p "$folder"
  mawk -v end="$2" 'BEGIN { printf "[Engine]\r\n"; for (n = 10; n + 1 + length(end) <= 65536; n += 1 + length(end)) printf "x%s", end }' \
    > "$folder/BrackwellDescriptor.txt"
}
hostile crlf '\r\n'
hostile lf '\n'
# Every other line a control byte: damage everywhere, one long stretch.
mkdir -p "$work/hostile-damaged/p"
mawk 'BEGIN { printf "[Engine]\r\n"; for (n = 10; n + 3 <= 65536; n += 3) printf "%s\r\n", (n % 2 ? "x" : "\001") }' \
  > "$work/hostile-damaged/p/BrackwellDescriptor.txt"
read -r hcs hcm < <(measure "$checker" --jobs 1 "$work/hostile-crlf")
read -r hls hlm < <(measure "$checker" --jobs 1 "$work/hostile-lf")
read -r hds hdm < <(measure "$checker" --jobs 1 "$work/hostile-damaged")

ratio() { mawk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() { printf '| %-40s | %9s | %9s | %-30s |\n' "$@"; }
echo
row "10,000 descriptors" "seconds" "peak KB" "time against find | sha256sum"
row "----" "----" "----" "----"
row "kestrix-check --jobs 1" "$c1s" "$c1m" "$(ratio "$c1s" "$shs")x (target <= 1.0)"
row "kestrix-check --jobs 2" "$c2s" "$c2m" "$(ratio "$c2s" "$shs")x (target <= 0.6)"
row "kestrix-check --jobs 1, 20 rules" "$r1s" "$r1m" "$(ratio "$r1s" "$c1s")x of no rules (target <= 1.1)"
row "find | sha256sum (yes or no only)" "$shs" "$shm" "1.00x"
row "sha256sum of a list made beforehand" "$sls" "$slm" "$(ratio "$sls" "$shs")x"
row "mawk join, one process a file" "$mjs" "$mjm" "$(ratio "$mjs" "$shs")x"
row "kestrix-check --jobs 1, 1,000 files" "$k1s" "$k1m" "RSS growth to 10,000: $(ratio "$((c1m - k1m))" "$k1m")"
row "kestrix-check --jobs 2, 1,000 files" "$k2s" "$k2m" "RSS growth to 10,000: $(ratio "$((c2m - k2m))" "$k2m")"
echo
row "one hostile 64 KiB descriptor" "seconds" "peak KB" "targets"
row "----" "----" "----" "----"
row "one-byte CR LF lines, --jobs 1" "$hcs" "$hcm" "<= 0.2 s, <= 32768 KB"
row "one-byte lone-LF lines, --jobs 1" "$hls" "$hlm" "<= 0.2 s, <= 32768 KB"
row "one-byte lines, every other damaged" "$hds" "$hdm" "<= 0.2 s, <= 32768 KB"
