#!/usr/bin/env bash
# A received descriptor with planted tweaks is scanned by keyboard, the log
# checked byte for byte, then corrected as the remote copy.
# Usage: scan_and_correct.sh STAGE_TOOL DATA_DIR PROGRAM
source "$(dirname "$0")/lib.sh"
stage_tool=$1 data=$2 program=$3
e2e_start_x
dir="$E2E_TMP/program"
"$stage_tool" "$data" "$dir" "$program"
cp "$data/Cars/Brackwell/BrackwellDescriptor.txt" "$dir/BrackwellDescriptor.txt"

e2e_open_main "$dir"
e2e_key alt+c
e2e_answer_message # completed
e2e_answer_message # tweaks found
printf '"Torque=512.5"\r\n"RedlineRPM=8900"\r\n"FrontGrip=1.384"\r\n' > "$E2E_TMP/expected"
cmp "$dir/Unmatch.txt" "$E2E_TMP/expected" || e2e_fail "Unmatch.txt differs from the planted tweaks"

# "Remote", then "CORRECT !" (middle of each control, in twips).
e2e_click_twips $((5040 + 300)) $((3000 + 127))
e2e_click_twips $((6240 + 487)) $((3000 + 127))
e2e_wait "cmp -s '$dir/BrackwellDescriptor.txt' '$dir/Brackwell.dat'" 5 || e2e_fail "the remote copy was not corrected"

e2e_key alt+l
e2e_wait "! kill -0 $E2E_KESTRIX" 5 || e2e_fail "Alt+L did not end the program"
echo "PASS: scan and correct"
