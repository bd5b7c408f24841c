# shellcheck shell=sh disable=SC2034  # sets variables for the scripts that source it
# Shared by the real-window tests and the windowed-play benchmark (sourced, POSIX
# sh). The caller defines fail MESSAGE (prints it and exits) and kills
# $xvfb_pid on exit.

# Starts Xvfb with screen $1 (W x H x depth) on a free display, whose number it
# writes through descriptor 3 into the file $2; sets xvfb_pid and exports DISPLAY.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$2" 2>/dev/null &
  xvfb_pid=$!
  i=0
  while [ ! -s "$2" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$2" ] || fail "Xvfb did not start"
  DISPLAY=":$(head -n 1 "$2")"
  export DISPLAY
}

# Types Escape into window $1 and waits for the program $demo_pid, killed after
# $2 s if it hangs (the time taken tells whether it ended by itself). Sets
# escape_status and escape_ms; clears demo_pid.
escape_and_wait() {
  t0=$(date +%s%N)
  xdotool windowfocus --sync "$1" key Escape 2>/dev/null || xdotool key --window "$1" Escape
  (sleep "$2"; kill -9 "$demo_pid" 2>/dev/null) &
  watcher=$!
  escape_status=0
  wait "$demo_pid" || escape_status=$?
  escape_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
  demo_pid=""
  kill "$watcher" 2>/dev/null || true
}
