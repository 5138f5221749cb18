#!/usr/bin/env bash
# Checks under a real X server what the offscreen window tests can't show: the close message a
# window manager sends (WM_DELETE_WINDOW) while a command runs, which window takes the keys
# while the progress window or a question is open, and keys pressed while a command runs. The probe is the program on
# a scripted server; xdotool finds its windows and presses keys. Exits 77 (skipped) when Xvfb or
# xdotool is missing.
# Usage: x11_checks.sh APP_X11_PROBE X11_MESSAGE [CHECK...]
set -uo pipefail
probe=$1
message=$2
shift 2
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing (scripts/install-deps installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
xvfb_pid=""
probe_pid=""
cleanup() {
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb writes its display number to the descriptor once it takes connections.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
deadline=$((SECONDS + 20))
until [ -s "$work/display" ]; do
  if ((SECONDS > deadline)) || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "Xvfb did not start:"
    cat "$work/xvfb.log"
    exit 1
  fi
  sleep 0.02
done
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Starts the probe on a scenario in a folder of its own and waits for its main window.
start() {
  folder="$work/$1"
  log="$folder.log"
  mkdir -p "$folder"
  "$probe" "$1" "$folder" >"$log" 2>"$folder.stderr" &
  probe_pid=$!
  main=$(timeout 20 xdotool search --sync --onlyvisible --name '^Varnel Tools$' | head -n 1)
}

# Waits up to 20 s for a line of the probe's log that holds text.
wait_for() {
  local deadline=$((SECONDS + 20))
  until grep -qF -- "$1" "$log"; do
    if ((SECONDS > deadline)); then
      fail "no \"$1\" in the log of $(basename "$folder")"
      return 1
    fi
    sleep 0.02
  done
}

# Sends the main window a window manager's close and expects the probe to end with status 0
# within a second; prints how long it took.
close_main() {
  local start_ns end_ns status
  start_ns=$(date +%s%N)
  "$message" "$main" close || fail "could not send the close message"
  local deadline=$((SECONDS + 20))
  while kill -0 "$probe_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.005; done
  end_ns=$(date +%s%N)
  if kill -0 "$probe_pid" 2>/dev/null; then
    fail "$1: the program still runs 20 s after the close"
    kill "$probe_pid"
  fi
  wait "$probe_pid"
  status=$?
  probe_pid=""
  local ms=$(((end_ns - start_ns) / 1000000))
  echo "$1: ended with status $status, $ms ms after the close"
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
  [ "$ms" -lt 1000 ] || fail "$1: took $ms ms"
}

show_log() {
  echo "--- log of $(basename "$folder")"
  cat "$log" "$folder.stderr"
}

# A window manager's close of the main window during a download cancels it and ends the
# program; nothing is installed.
check_close_during_download() {
  start stalled
  wait_for "progress window shown" || return
  close_main "main window closed during a download"
  [ -e "$folder/data/Slow" ] && fail "the program was installed after the close"
  [ -e "$folder/temp.zip" ] && fail "temp.zip is left after the close"
  grep -qF 'panel " Cancelled"' "$log" || fail "the download was not cancelled"
}

# The progress window's close cancels the command; the program goes on.
check_close_of_the_progress_window() {
  start stalled
  wait_for "progress window shown" || return
  local form
  form=$(xdotool search --onlyvisible --name '^Slow$' | head -n 1)
  "$message" "$form" close || fail "could not close the progress window"
  wait_for 'command end, panel " Cancelled"' || return
  kill -0 "$probe_pid" 2>/dev/null || fail "the progress window's close ended the program"
  close_main "main window closed after a cancelled download"
}

# The progress window takes the keys once it shows: Escape cancels the command.
check_escape_in_the_progress_window() {
  start stalled
  wait_for "progress window shown" || return
  local form deadline=$((SECONDS + 20))
  form=$(timeout 20 xdotool search --sync --onlyvisible --name '^Slow$' | head -n 1)
  until [ "$(xdotool getwindowfocus 2>/dev/null)" = "$form" ]; do
    if ((SECONDS > deadline)); then
      fail "the progress window did not get the focus"
      return
    fi
    sleep 0.02
  done
  xdotool key Escape
  wait_for 'command end, panel " Cancelled"' || return
  close_main "main window closed after Escape"
}

# A damaged archive's question stays on top and takes the keys: the progress window does not
# come up over it, Escape answers Abort, and Abort reports the failure in an error box.
check_question_keeps_the_input() {
  start damaged
  wait_for "question: " || return
  wait_for "show delay passed" || return
  xdotool search --onlyvisible --name '^Damaged$' >/dev/null &&
    fail "the progress window came up over the question"
  xdotool key Escape
  wait_for "error: " || return
  # The error box is titled as the program; it takes the keys once it has the focus.
  local box
  box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Probe$' | head -n 1)
  xdotool windowfocus --sync "$box" key Return
  wait_for "command end" || return
  grep -qF 'panel " Cancelled"' "$log" && fail "Abort ended silently"
  [ -e "$folder/data/Damaged" ] && fail "the damaged archive was installed"
  close_main "main window closed after the question"
}

# Keys pressed while a command runs (here during its reload) do nothing, then or later.
check_keys_during_a_command() {
  start reload
  wait_for "reload waiting for the mark" || return
  xdotool windowfocus --sync "$main"
  xdotool key F5
  "$message" "$main" mark || fail "could not send the mark"
  wait_for "command end" || return
  close_main "main window closed after the reload"
  local updates
  updates=$(grep -cF "triggered: Update repository" "$log")
  [ "$updates" -eq 1 ] || fail "F5 pressed during the reload ran $((updates - 1)) more update(s)"
}

checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(check_close_during_download check_close_of_the_progress_window
  check_escape_in_the_progress_window check_question_keeps_the_input check_keys_during_a_command)
passed=0
failed=0
for check in "${checks[@]}"; do
  before=$failures
  $check
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null && wait "$probe_pid"
  probe_pid=""
  if [ "$failures" -eq "$before" ]; then
    echo "ok: $check"
    passed=$((passed + 1))
  else
    show_log
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
