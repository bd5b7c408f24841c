#!/bin/sh
# The cost of playing the demo in a window: wendril on a virtual X display (Xvfb),
# sound through SDL's dummy driver (the music is still mixed, as with a device),
# measured over a stretch of steady play after the window opened. Prints one line
#   window: RUNS x SECONDS s played, CPU X s per minute (P% of a core), peak RSS M MB, renderer NAME
# and beside it what drawing the same frames headless costs (wendril-capture, render only):
#   baseline: CPU X s per minute (P% of a core), peak RSS M MB
# Each figure is the median of RUNS runs (the machine may be loaded).
# Arguments: the build directory (default build), the seconds to measure (default 15),
# the runs (default 3).
set -eu
# shellcheck source=tests/lib/x11.sh
. "$(dirname "$0")/../tests/lib/x11.sh"
build=$(cd "${1:-build}" && pwd)
seconds=${2:-15}
runs=${3:-3}
fail() { echo "window_cpu: $*" >&2; exit 1; }
for tool in Xvfb xdotool awk; do command -v "$tool" >/dev/null || fail "$tool is missing"; done
[ -x "$build/wendril" ] && [ -x "$build/wendril-capture" ] || fail "build wendril and wendril-capture first"
[ -f "$build/data/ragga.xm" ] || fail "no default data set in $build/data"

tmp=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

# Always a fresh Xvfb: a real desktop's compositor would be measured too.
start_xvfb 1024x768x24 "$tmp/display"

ticks=$(getconf CLK_TCK)
# CPU seconds (user + system, all threads) of a live process.
cpu_of() { awk -v t="$ticks" '{ sub(/^.*\) /, ""); print ($12 + $13) / t }' "/proc/$1/stat"; }
rss_mb() { awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

# One run: wendril started, measured from 2 s after its window opened (start-up
# is not play) for $seconds s; prints "CPU-seconds peak-RSS-MB renderer".
run_window() {
  (cd "$build/data" && SDL_AUDIODRIVER=dummy TAVIK_WINDOWED=1 TAVIK_NO_MESSAGE_BOX=1 exec "$build/wendril") \
    >"$tmp/stdout" 2>"$tmp/stderr" &
  demo_pid=$!
  i=0
  while ! xdotool search --name '^Wendril$' >/dev/null 2>&1; do
    kill -0 "$demo_pid" 2>/dev/null || { cat "$tmp/stderr" >&2; fail "wendril ended before its window opened"; }
    [ $i -lt 300 ] || { cat "$tmp/stderr" >&2; xdotool search --name . getwindowname %@ >&2; fail "no window after 30 s"; }
    sleep 0.1
    i=$((i + 1))
  done
  sleep 2
  c0=$(cpu_of "$demo_pid")
  t0=$(date +%s%N)
  sleep "$seconds"
  c1=$(cpu_of "$demo_pid")
  t1=$(date +%s%N)
  rss=$(rss_mb "$demo_pid")
  # What draws into the window, from the libraries it loaded.
  if grep -q -e swrast_dri -e libLLVM "/proc/$demo_pid/maps"; then
    renderer="OpenGL-on-Mesa's-software-rasterizer"
  elif grep -q -e libGLX -e libEGL "/proc/$demo_pid/maps"; then
    renderer="OpenGL"
  else
    renderer="no-OpenGL"
  fi
  kill "$demo_pid" 2>/dev/null || true
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=""
  awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v rss="$rss" -v r="$renderer" \
    'BEGIN { printf "%.4f %s %s\n", (c1 - c0) * 1e9 / (t1 - t0) * '"$seconds"', rss, r }'
}

# The median of the runs' CPU, the largest peak.
: >"$tmp/runs"
for _ in $(seq "$runs"); do run_window >>"$tmp/runs"; done
sort -n "$tmp/runs" | awk -v s="$seconds" -v n="$runs" '
  { cpu[NR] = $1; if ($2 > rss) rss = $2; r = $3 }
  END { c = cpu[int((n + 1) / 2)]; gsub(/-/, " ", r)
        printf "window: %d x %d s played, CPU %.2f s per minute (%.1f%% of a core), peak RSS %.1f MB, renderer %s\n",
               n, s, c * 60 / s, 100 * c / s, rss, r }'

# The baseline: the same stretch of the demo (after the same 2 s) drawn headless at
# 60 fps with no output, as CPU seconds per minute of demo time, and its peak RSS.
: >"$tmp/base"
for _ in $(seq "$runs"); do
  /usr/bin/env time -f "%U %S %M" -o "$tmp/time" "$build/wendril-capture" --quiet --data "$build/data" --fps 60 \
    --from 2 --to $((2 + seconds)) --log /dev/null >/dev/null 2>"$tmp/capture.err" ||
    { cat "$tmp/capture.err" >&2; fail "wendril-capture failed"; }
  awk '{ print $1 + $2, $3 / 1024 }' "$tmp/time" >>"$tmp/base"
done
sort -n "$tmp/base" | awk -v s="$seconds" -v n="$runs" '
  { cpu[NR] = $1; if ($2 > rss) rss = $2 }
  END { c = cpu[int((n + 1) / 2)]
        printf "baseline: CPU %.2f s per minute (%.1f%% of a core), peak RSS %.1f MB\n", c * 60 / s, 100 * c / s, rss }'
