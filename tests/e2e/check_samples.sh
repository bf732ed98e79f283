#!/usr/bin/env bash
# kestrix-check, staged beside the program, on the sample Cars folder: exit
# status 1 and exactly the tweaked lines that data/Cars/TWEAKS.md lists, in
# its order; every other sample descriptor genuine.
# Usage: check_samples.sh STAGE_TOOL DATA_DIR CHECKER
set -euo pipefail
stage_tool=$1 data=$2 checker=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$stage_tool" "$data" "$tmp/program" "$checker"
status=0
(cd "$data" && "$tmp/program/kestrix-check" Cars) > "$tmp/out" 2> "$tmp/err" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status, not 1: $(cat "$tmp/err")"
[ ! -s "$tmp/err" ] || fail "unexpected messages: $(cat "$tmp/err")"

# "Cars/Brackwell/BrackwellDescriptor.txt<TAB>Torque=512.5" for each tweaked
# line: from the first fenced block after each "## " heading of TWEAKS.md, and
# from the checker's "  changed [Section] Key: OLD -> NEW (line N)" lines
# under each file's heading.
awk '/^## / { file = $2; block = 0; taken = 0; next }
     /^```/ { if (!taken) { block = !block; if (!block) taken = 1 }; next }
     block { sub(/\r$/, ""); print file "\t" $0 }' "$data/Cars/TWEAKS.md" > "$tmp/expected"
awk '/^[^ ].*: (genuine|tweaked) \(/ { file = $0; sub(/: (genuine|tweaked) \(.*$/, "", file); next }
     /^  changed \[[^]]*\] / { text = $0; sub(/^  changed \[[^]]*\] /, "", text); sub(/ \(line [0-9]+\)$/, "", text)
                              key = text; sub(/: .*$/, "", key); sub(/^.* -> /, "", text); print file "\t" key "=" text }' "$tmp/out" > "$tmp/actual"
[ -s "$tmp/expected" ] || fail "no tweaked lines read from TWEAKS.md"
diff -u "$tmp/expected" "$tmp/actual" || fail "the tweaked lines differ from TWEAKS.md"

tweaked=$(cut -f1 "$tmp/expected" | sort -u | wc -l)
genuine=$(grep -c ': genuine (' "$tmp/out")
[ "$((tweaked + genuine))" -eq 6 ] || fail "$tweaked tweaked and $genuine genuine of 6 sample descriptors"
tail -n1 "$tmp/out" | grep -qx "6 descriptors: $genuine genuine, 0 formatting only, 0 damaged, $tweaked tweaked, 0 errors; 1 player, 1 with tweaks" \
  || fail "summary: $(tail -n1 "$tmp/out")"
echo "PASS: kestrix-check on the sample Cars folder"
