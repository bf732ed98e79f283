#!/usr/bin/env bash
# The real program under Xvfb: Alt+G opens the receiver window, which listens
# on a fixed port and receives the Brackwell descriptor from kestrix-send; a
# remote scan of the received copy then finds its three planted tweaks. A
# sender that writes header and file in one call is received whole too.
# Usage: e2e_receiver.sh STAGE_TOOL DATA_DIR PROGRAM SENDER
source "$(dirname "$0")/../e2e/lib.sh"
stage_tool=$1 data=$2 program=$3 sender=$4
e2e_start_x
dir="$E2E_TMP/program"
"$stage_tool" "$data" "$dir" "$program"
descriptor="$data/Cars/Brackwell/BrackwellDescriptor.txt"

# A port that nothing listens on now.
while :; do
  port=$(shuf -i 20000-39999 -n 1)
  grep -qi ":$(printf '%04X' "$port") " /proc/net/tcp /proc/net/tcp6 2>/dev/null || break
done
listening() { grep -qi ":$(printf '%04X' "$port") 00000000:0000 0A" /proc/net/tcp; }

# Clicks at a point of the receiver window given in twips of its client area.
click_receiver() { xdotool mousemove --window "$receiver" $(($1 / 15)) $(($2 / 15)) click 1; }

e2e_open_main "$dir"
e2e_key alt+g
receiver=$(e2e_wait_window "Get Remote Descriptor")

# The port box: "Advanced Settings" at 4680,120, the box at 120,480 in it.
click_receiver $((4680 + 120 + 700)) $((120 + 480 + 140))
xdotool windowfocus --sync "$receiver" key ctrl+a
xdotool type --delay 20 "$port"
click_receiver $((120 + 700)) $((2520 + 180)) # "Listen for file"
e2e_wait listening 5 || e2e_fail "nothing listens on port $port"

"$sender" 127.0.0.1 "$port" "$descriptor" --name BrackwellDescriptor.txt || e2e_fail "kestrix-send failed"
e2e_wait "cmp -s '$descriptor' '$dir/BrackwellDescriptor.txt'" 5 || e2e_fail "the received file differs from the sent one"
e2e_wait "! listening" 5 || e2e_fail "the receiver still listens after the transfer"

# A sender that writes the header and the file in one call: the receiver
# takes the bytes behind the header as the file's.
printf 'FILEINFO|%d|GrelmDescriptor.txt|' "$(stat -c %s "$descriptor")" > "$E2E_TMP/one-write"
cat "$descriptor" >> "$E2E_TMP/one-write"
click_receiver $((120 + 700)) $((2520 + 180)) # "Listen for file" again
e2e_wait listening 5 || e2e_fail "nothing listens on port $port again"
socat -u -b 65536 "OPEN:$E2E_TMP/one-write" "TCP:127.0.0.1:$port" || e2e_fail "the one-write sender failed"
e2e_wait "cmp -s '$descriptor' '$dir/GrelmDescriptor.txt'" 5 || e2e_fail "the file sent in one write differs"

# "Close" only hides the window; the main window's button shows it again.
click_receiver $((5160 + 700)) $((2520 + 180))
e2e_wait "[ -z \"\$(e2e_window 'Get Remote Descriptor')\" ]" 5 || e2e_fail "Close did not hide the receiver"
e2e_key alt+g
[ "$(e2e_wait_window "Get Remote Descriptor")" = "$receiver" ] || e2e_fail "a new receiver window instead of the same one"

# A remote scan (the local box unticked) reads the received copy.
e2e_key alt+c
e2e_answer_message # completed
e2e_answer_message # tweaks found
printf '"Torque=512.5"\r\n"RedlineRPM=8900"\r\n"FrontGrip=1.384"\r\n' > "$E2E_TMP/expected"
cmp "$dir/Unmatch.txt" "$E2E_TMP/expected" || e2e_fail "Unmatch.txt differs from the planted tweaks"

e2e_key alt+l
e2e_wait "! kill -0 $E2E_KESTRIX" 5 || e2e_fail "Alt+L did not end the program"
echo "PASS: receive and scan"
