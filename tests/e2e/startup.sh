#!/usr/bin/env bash
# The splash shows first; a click opens the main window at its fixed size;
# an access key does nothing on a disabled button; Alt+L ends the program
# with status 0. Without the parameter file the program ends after its message.
# Usage: startup.sh STAGE_TOOL DATA_DIR PROGRAM
source "$(dirname "$0")/lib.sh"
stage_tool=$1 data=$2 program=$3
e2e_start_x
"$stage_tool" "$data" "$E2E_TMP/program" "$program"

e2e_open_main "$E2E_TMP/program"
[ -z "$(e2e_window Form1)" ] || e2e_fail "the splash is still showing"
geometry=$(xdotool getwindowgeometry "$E2E_MAIN" | awk '/Geometry/ {print $2}')
[ "$geometry" = "514x353" ] || e2e_fail "main window is $geometry, not 514x353"

# Reset disables "View Tweaked Data"; its Alt+V must then not create the log.
e2e_key alt+r
[ -f "$E2E_TMP/program/Unmatch.txt" ] || e2e_fail "Alt+R did not reset the log"
rm "$E2E_TMP/program/Unmatch.txt"
e2e_key alt+v
[ ! -e "$E2E_TMP/program/Unmatch.txt" ] || e2e_fail "Alt+V worked on a disabled button"

e2e_key alt+l
e2e_wait "! kill -0 $E2E_KESTRIX" 5 || e2e_fail "Alt+L did not end the program"
wait "$E2E_KESTRIX" && status=0 || status=$?
[ "$status" -eq 0 ] || e2e_fail "exit status $status"

rm "$E2E_TMP/program/Sample.txt"
(cd "$E2E_TMP/program" && exec ./kestrix) &
kestrix=$!
E2E_PIDS+=("$kestrix")
splash=$(e2e_wait_window "Form1")
xdotool mousemove --window "$splash" 100 80 click 1
e2e_wait "[ -n \"\$(e2e_other_window $kestrix $splash)\" ]" 10 || e2e_fail "no parameter-file message"
xdotool windowfocus --sync "$(e2e_other_window "$kestrix" "$splash")" key Return
e2e_wait "! kill -0 $kestrix" 5 || e2e_fail "the program did not end without its parameter file"
[ -z "$(e2e_window 'Vortrax Kestrix v1.0.2 Beta')" ] || e2e_fail "the main window showed"
echo "PASS: start-up"
