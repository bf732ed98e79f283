#!/usr/bin/env bash
# The portable archive unpacked with tar -xpf into a fresh folder: every file
# is there and the programs are stripped; the tools take the reference data
# beside them, whose dates survive the archive even half a world away (UTC+14),
# and the window starts there through its splash to the main window.
# Usage: portable_window.sh ARCHIVE_SCRIPT PROGRAM_FOLDER DATA_DIR
source "$(dirname "$0")/../e2e/lib.sh"
archive_script=$1 folder=$2 data=$3
name=$(basename "$folder")
version=${name#kestrix-}
version=${version%-linux-x86_64}
e2e_start_x

bash "$archive_script" "$folder" "$E2E_TMP/$name.tar.gz" >/dev/null
mkdir "$E2E_TMP/unpacked"
tar -C "$E2E_TMP/unpacked" -xpf "$E2E_TMP/$name.tar.gz"
program=$E2E_TMP/unpacked/$name
for file in kestrix kestrix-check kestrix-collect kestrix-send kestrix-refbuild help.txt Sample.txt README.txt \
            Sam.mdb Brackwell.dat DunMarr.dat Skelder4.dat Grelm.dat Puddlewick.dat OldGrist.dat; do
  [ -f "$program/$file" ] || e2e_fail "$file is not in the archive"
done
[ "$(ls "$program" | wc -l)" -eq 15 ] || e2e_fail "unexpected files: $(ls "$program")"
file "$program/kestrix" | grep -q ', stripped' || e2e_fail "kestrix is not stripped"
grep -Eq '^ +sudo apt install .*libqt6widgets6' "$program/README.txt" || e2e_fail "the README names no Qt package"

for tool in kestrix-check kestrix-collect kestrix-refbuild; do
  [ "$("$program/$tool" --version)" = "$tool $version" ] || e2e_fail "$tool --version: $("$program/$tool" --version)"
done
status=0
(cd "$data" && TZ=Pacific/Kiritimati "$program/kestrix-check" Cars) > "$E2E_TMP/out" 2> "$E2E_TMP/err" || status=$?
[ "$status" -eq 1 ] && [ ! -s "$E2E_TMP/err" ] || e2e_fail "kestrix-check: status $status: $(cat "$E2E_TMP/err")"
tail -n1 "$E2E_TMP/out" | grep -q '^6 descriptors: ' || e2e_fail "kestrix-check: $(tail -n1 "$E2E_TMP/out")"

export TZ=Pacific/Kiritimati
e2e_open_main "$program"
e2e_key alt+l
e2e_wait "! kill -0 $E2E_KESTRIX" 5 || e2e_fail "Alt+L did not end the program"
wait "$E2E_KESTRIX" && status=0 || status=$?
[ "$status" -eq 0 ] || e2e_fail "exit status $status"
echo "PASS: the portable archive, unpacked"
