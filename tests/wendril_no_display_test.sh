#!/bin/sh
# Programs on the SDL host with no display to show a window on: wendril and the
# DirectDraw example, with neither DISPLAY nor WAYLAND_DISPLAY set and with DISPLAY
# naming an X server that is not there. Each must say that there is no display and
# how to see the demo anyway, and end at once with status 1 (not play on unseen).
# Asked for on purpose, SDL's dummy video driver still runs them without a window.
# Argument: the build directory.
set -eu
build=$(cd "${1:-build}" && pwd)
fail() { echo "wendril_no_display_test: $*" >&2; exit 1; }
command -v timeout >/dev/null || fail "timeout is missing"
for program in wendril ddraw_example; do
  [ -x "$build/$program" ] || fail "build $program first"
done
[ -f "$build/data/ragga.xm" ] || fail "no default data set in $build/data"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# A display number with no server: no lock file, no socket.
n=91
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done

# run PROGRAM [VAR=VALUE]: the program from the data folder with only the given
# display variable; sets status, ms and its output in $tmp/err.
run() {
  program=$1
  shift
  t0=$(date +%s%N)
  status=0
  (cd "$build/data" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
     TAVIK_NO_MESSAGE_BOX=1 TAVIK_WINDOWED=1 SDL_AUDIODRIVER=dummy "$@" \
     timeout -s KILL 20 "$build/$program") >"$tmp/err" 2>&1 || status=$?
  ms=$(( ($(date +%s%N) - t0) / 1000000 ))
}

for program in wendril ddraw_example; do
  for display in "" "DISPLAY=:$n"; do
    case="$program ${display:-without DISPLAY}"
    run "$program" ${display:+"$display"}
    [ "$status" = 1 ] || { cat "$tmp/err" >&2; fail "$case: status $status after $ms ms, not 1"; }
    [ "$ms" -lt 3000 ] || fail "$case: took $ms ms to end"
    for said in "$program: no display" "scripts/run" "wendril-capture" "SDL_VIDEODRIVER=dummy"; do
      grep -q -F -e "$said" "$tmp/err" || { cat "$tmp/err" >&2; fail "$case: does not say \"$said\""; }
    done
    [ -z "$display" ] || grep -q -F -e "DISPLAY=:$n" "$tmp/err" || { cat "$tmp/err" >&2; fail "$case: does not name the display"; }
    echo "wendril_no_display_test: $case: status 1 after $ms ms"
  done
done

# The dummy driver asked for: the example runs on (until killed) and says nothing of a display.
status=0
(cd "$build/data" && exec env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy timeout 2 "$build/ddraw_example") \
  >"$tmp/err" 2>&1 || status=$?
[ "$status" = 124 ] || { cat "$tmp/err" >&2; fail "ddraw_example with SDL_VIDEODRIVER=dummy: status $status, not still running"; }
if grep -q -i "no display" "$tmp/err"; then cat "$tmp/err" >&2; fail "ddraw_example with SDL_VIDEODRIVER=dummy: says there is no display"; fi
echo "wendril_no_display_test: ddraw_example with SDL_VIDEODRIVER=dummy runs without a window"
