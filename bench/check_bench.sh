#!/usr/bin/env bash
# kestrix-check against what league servers and scripts do today, on 10,000
# players' descriptors (the six genuine sample files, 1% of them tweaked):
# sha256sum over the same files (it can only say yes or no), given the list
# made beforehand, which is what the checker's targets are measured against,
# and as find piped to it, which finds the files as the checker must; and a
# mawk join of each file against its genuine lines. Wall time, user+sys CPU
# and peak RSS, the median of three rounds in which the checker and
# sha256sum run side by side, and the checker's RSS at 1,000 files against
# 10,000. Then one hostile file: 64 KiB of one-byte lines under one of the
# car's sections (each line a value added), and the same with lone LFs,
# which are read both ways, and with every other line a control byte
# (damage throughout one long stretch of the diff).
# With --speed, only the rows with targets on the 10,000 descriptors: the
# checker under a league's rules on 1 and 2 threads beside sha256sum.
# Usage: bench/check_bench.sh [--speed] [BUILD_DIR]   (a Release build is best)
set -euo pipefail
speed_only=false
if [ "${1:-}" = --speed ]; then
  speed_only=true
  shift
fi
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
$speed_only || prepare 1000 "$work/players1k"
find "$work/players10k" -type f | sort > "$work/files10k"

# "seconds cpu KB" of each command given (a name, then the command in one
# word for bash -c), output to /dev/null: three rounds, each running every
# command once in turn, so that all meet the same load; the median of each.
measure() {
  local round name
  for round in 1 2 3; do
    for ((name = 1; name < $#; name += 2)); do
      local label=${!name}
      local next=$((name + 1))
      /usr/bin/time -f "%e %U %S %M" -o "$work/time" bash -c "${!next}" >/dev/null 2>&1 || true
      tail -n1 "$work/time" | mawk -v n="$label" '{ printf "%s %s %.2f %s\n", n, $1, $2 + $3, $4 }'
    done
  done > "$work/rounds"
  for ((name = 1; name < $#; name += 2)); do
    mawk -v n="${!name}" '$1 == n { print $2, $3, $4 }' "$work/rounds" | sort -n | sed -n 2p > "$work/median-${!name}"
  done
}
median() { cat "$work/median-$1"; }
sha_listed="xargs -d '\\n' sha256sum < '$work/files10k'"
sha_found="find '$work/players10k' -type f -print0 | xargs -0 sha256sum"
join_each="while read -r file; do
    car=\$(basename \"\$(dirname \"\$file\")\")
    mawk 'NR==FNR { genuine[\$0]; next } !(\$0 in genuine)' '$work/program/'\"\$car.dat\" \"\$file\"
  done < '$work/files10k'"

# A league's rules of 20 allows, of each kind, over every car.
for i in $(seq 1 5); do
  printf '[[allow]]\ncar = "*"\nsection = "Gearbox"\nkey = "GearRatio%s"\n\n' "$i"
  printf '[[allow]]\ncar = "Brackwell"\nsection = "Engine"\nkey = "BoostBar"\nmin = 0.%s\nmax = 0.9\n\n' "$i"
  printf '[[allow]]\ncar = "*"\nsection = "Tyres"\nkey = "Compound"\nvalues = ["Soft", "Medium", "Hard"]\n\n'
  printf '[[allow]]\ncar = "*"\nsection = "Sound"\nkey = "*"\noptional = true\n\n'
done > "$work/rules.toml"

checker_run() { printf "'%s' --jobs %s %s '%s'" "$checker" "$1" "$2" "$work/$3"; }
ruled="--rules '$work/rules.toml'"
if $speed_only; then
  measure sha_listed "$sha_listed" r1 "$(checker_run 1 "$ruled" players10k)" r2 "$(checker_run 2 "$ruled" players10k)"
else
  measure sha_listed "$sha_listed" r1 "$(checker_run 1 "$ruled" players10k)" r2 "$(checker_run 2 "$ruled" players10k)" \
    c1 "$(checker_run 1 "" players10k)" c2 "$(checker_run 2 "" players10k)" sha_found "$sha_found"
  measure k1 "$(checker_run 1 "" players1k)" k2 "$(checker_run 2 "" players1k)" join_each "$join_each"
fi
read -r sls slc slm < <(median sha_listed)
read -r r1s r1c r1m < <(median r1)
read -r r2s r2c r2m < <(median r2)

ratio() { mawk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() { printf '| %-40s | %9s | %9s | %9s | %-32s |\n' "$@"; }
echo
row "10,000 descriptors" "seconds" "user+sys" "peak KB" "time against sha256sum of a list"
row "----" "----" "----" "----" "----"
row "kestrix-check --jobs 1, 20 rules" "$r1s" "$r1c" "$r1m" "$(ratio "$r1s" "$sls")x (target <= 1.0)"
row "kestrix-check --jobs 2, 20 rules" "$r2s" "$r2c" "$r2m" "$(ratio "$r2s" "$sls")x (target <= 0.7)"
row "sha256sum of a list made beforehand" "$sls" "$slc" "$slm" "1.00x"
$speed_only && exit 0

read -r c1s c1c c1m < <(median c1)
read -r c2s c2c c2m < <(median c2)
read -r shs shc shm < <(median sha_found)
read -r k1s k1c k1m < <(median k1)
read -r k2s k2c k2m < <(median k2)
read -r mjs mjc mjm < <(median join_each)
row "kestrix-check --jobs 1" "$c1s" "$c1c" "$c1m" "$(ratio "$c1s" "$sls")x"
row "kestrix-check --jobs 2" "$c2s" "$c2c" "$c2m" "$(ratio "$c2s" "$sls")x"
row "find | sha256sum (yes or no only)" "$shs" "$shc" "$shm" "$(ratio "$shs" "$sls")x"
row "mawk join, one process a file" "$mjs" "$mjc" "$mjm" "$(ratio "$mjs" "$sls")x"
row "kestrix-check --jobs 1, 1,000 files" "$k1s" "$k1c" "$k1m" "RSS growth to 10,000: $(ratio "$((c1m - k1m))" "$k1m")"
row "kestrix-check --jobs 2, 1,000 files" "$k2s" "$k2c" "$k2m" "RSS growth to 10,000: $(ratio "$((c2m - k2m))" "$k2m")"

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
measure hc "$(checker_run 1 "" hostile-crlf)" hl "$(checker_run 1 "" hostile-lf)" hd "$(checker_run 1 "" hostile-damaged)"
read -r hcs hcc hcm < <(median hc)
read -r hls hlc hlm < <(median hl)
read -r hds hdc hdm < <(median hd)

echo
row "one hostile 64 KiB descriptor" "seconds" "user+sys" "peak KB" "targets"
row "----" "----" "----" "----" "----"
row "one-byte CR LF lines, --jobs 1" "$hcs" "$hcc" "$hcm" "<= 0.2 s, <= 32768 KB"
row "one-byte lone-LF lines, --jobs 1" "$hls" "$hlc" "$hlm" "<= 0.2 s, <= 32768 KB"
row "one-byte lines, every other damaged" "$hds" "$hdc" "$hdm" "<= 0.2 s, <= 32768 KB"
