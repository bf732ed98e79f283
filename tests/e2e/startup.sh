#!/usr/bin/env bash
# The splash shows first; a click opens the main window at its fixed size;
# Alt+L ends the program with status 0.
# Usage: startup.sh STAGE_TOOL DATA_DIR PROGRAM
source "$(dirname "$0")/lib.sh"
stage_tool=$1 data=$2 program=$3
e2e_start_x
"$stage_tool" "$data" "$E2E_TMP/program" "$program"

e2e_open_main "$E2E_TMP/program"
[ -z "$(e2e_window Form1)" ] || e2e_fail "the splash is still showing"
geometry=$(xdotool getwindowgeometry "$E2E_MAIN" | awk '/Geometry/ {print $2}')
[ "$geometry" = "514x353" ] || e2e_fail "main window is $geometry, not 514x353"

e2e_key alt+l
e2e_wait "! kill -0 $E2E_KESTRIX" 5 || e2e_fail "Alt+L did not end the program"
wait "$E2E_KESTRIX" && status=0 || status=$?
[ "$status" -eq 0 ] || e2e_fail "exit status $status"
echo "PASS: start-up"
