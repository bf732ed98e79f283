# Helpers for end-to-end tests: the real program in a real X server.
# Usage: source lib.sh; e2e_start_x; e2e_stage DIR; ...
set -euo pipefail

E2E_PIDS=()
e2e_cleanup() {
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${E2E_TMP:-}" ] && rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

e2e_fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts Xvfb on a free display; skips the test (77) where there is none.
e2e_start_x() {
  command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: Xvfb or xdotool missing"; exit 77; }
  E2E_TMP=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$E2E_TMP/display" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  for _ in $(seq 100); do [ -s "$E2E_TMP/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -n1 "$E2E_TMP/display")"
  export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
}

# Polls until a command succeeds (every 20 ms, up to $2 seconds).
e2e_wait() {
  local condition=$1 seconds=${2:-10}
  local tries=$((seconds * 50))
  for _ in $(seq "$tries"); do eval "$condition" >/dev/null 2>&1 && return 0; sleep 0.02; done
  return 1
}

# The id of the visible window whose whole title is $1.
e2e_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }

e2e_wait_window() {
  e2e_wait "[ -n \"\$(e2e_window '$1')\" ]" "${2:-10}" || e2e_fail "no window titled '$1'"
  e2e_window "$1"
}

# The first visible window of process $1 other than window $2.
e2e_other_window() { xdotool search --onlyvisible --pid "$1" 2>/dev/null | grep -vx "$2" | head -n1; }

# Closes the message box that the program shows next, with Return.
e2e_answer_message() {
  local box
  box=$(e2e_wait_window "Vortrax Kestrix")
  xdotool windowfocus --sync "$box" key Return
  e2e_wait "! xdotool search --onlyvisible --name '^Vortrax Kestrix\$' | grep -qx $box" 5 ||
    e2e_fail "message box did not close"
}

# Starts the staged program and opens the main window through the splash.
e2e_open_main() {
  local program_dir=$1
  (cd "$program_dir" && exec ./kestrix) &
  E2E_KESTRIX=$!
  E2E_PIDS+=("$E2E_KESTRIX")
  local splash
  splash=$(e2e_wait_window "Form1")
  xdotool mousemove --window "$splash" 100 80 click 1
  E2E_MAIN=$(e2e_wait_window "Vortrax Kestrix v1.0.2 Beta")
  xdotool windowfocus --sync "$E2E_MAIN"
}

# Clicks at a point of the main window given in twips, as the layout places controls.
e2e_click_twips() {
  xdotool mousemove --window "$E2E_MAIN" $(($1 / 15)) $(($2 / 15)) click 1
}

e2e_key() {
  xdotool windowfocus --sync "$E2E_MAIN" key "$@"
  sleep 0.15 # the button's pressed animation
}
