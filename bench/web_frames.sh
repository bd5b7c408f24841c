#!/bin/sh
# Frame times of the whole demo in wasm under node against the native build, one
# thread, at scale 1 and 4: the mean and the worst frame (drawing and frame end,
# wendril-capture --timings), and wasm's over native's. A long run (minutes), not
# a test: scripts/build-web and the native build first.
#
#   bench/web_frames.sh [WASM_CAPTURE_JS [NATIVE_BUILD]]
# defaults build-wasm/wendril-capture.js and build (its wendril-capture and data).
# WEB_FRAMES_RUNS (default 3): runs per build and scale, native and wasm in turn;
# each figure is the median over the runs (the machine may be shared).
# "worst 1s+" is the worst frame from the second second on: node compiles the
# wasm code as it is first called, so the first frames of the run carry that.
# Row wasm-st: node --single-threaded, where V8 compiles on the program's own
# thread instead of on threads beside it. On a machine with few free cores those
# threads take turns with the program's (frames of 10-20 ms while the code is
# optimised); this row shows the frames without that.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
wasm=${1:-$root/build-wasm/wendril-capture.js}
native=${2:-$root/build}
runs=${WEB_FRAMES_RUNS:-3}
fail() {
  echo "web_frames: $*" >&2
  exit 1
}
[ -f "$wasm" ] || fail "no $wasm: scripts/build-web builds it"
[ -x "$native/wendril-capture" ] || fail "no $native/wendril-capture: build the native program first"
[ -f "$native/data/ragga.xm" ] || fail "no data set in $native/data"
command -v node >/dev/null || fail "node is missing (scripts/setup web installs it)"
case $runs in '' | *[!0-9]* | 0) fail "WEB_FRAMES_RUNS must be a whole number above 0, not '$runs'" ;; esac

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
stats() {  # timings file -> "mean worst worst-from-frame-60 frames" in ms
  awk '{ s += $2; if ($2 > w) w = $2; if ($1 >= 60 && $2 > l) l = $2; n++ }
       END { if (n) printf "%.3f %.3f %.3f %d\n", s / n, w, l, n }' "$1"
}
median() {  # column of a stats file -> its median
  sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
printf '%-6s %-7s %10s %10s %10s %8s   (median of %d runs)\n' scale build "mean ms" "worst ms" "worst 1s+" frames "$runs"
for scale in 1 4; do
  : >"$tmp/native.stats"
  : >"$tmp/wasm.stats"
  : >"$tmp/wasm-st.stats"
  i=0
  while [ "$i" -lt "$runs" ]; do
    TAVIK_THREADS=1 "$native/wendril-capture" --data "$native/data" --scale "$scale" --timings "$tmp/native" --quiet \
      >/dev/null 2>&1 || fail "the native capture failed at scale $scale"
    TAVIK_THREADS=1 node --no-experimental-fetch "$wasm" --data "$native/data" --scale "$scale" --timings "$tmp/wasm" \
      --quiet >/dev/null 2>&1 || fail "the wasm capture failed at scale $scale"
    TAVIK_THREADS=1 node --no-experimental-fetch --single-threaded "$wasm" --data "$native/data" --scale "$scale" \
      --timings "$tmp/wasm-st" --quiet >/dev/null 2>&1 || fail "the wasm capture (node --single-threaded) failed at scale $scale"
    stats "$tmp/native" >>"$tmp/native.stats"
    stats "$tmp/wasm" >>"$tmp/wasm.stats"
    stats "$tmp/wasm-st" >>"$tmp/wasm-st.stats"
    i=$((i + 1))
  done
  set -- $(for c in 1 2 3 4; do median "$tmp/native.stats" $c; done)
  printf '%-6s %-7s %10s %10s %10s %8s\n' "$scale" native "$1" "$2" "$3" "$4"
  for build in wasm wasm-st; do
    set -- "$1" "$2" "$3" "$4" $(for c in 1 2 3 4; do median "$tmp/$build.stats" $c; done)
    printf '%-6s %-7s %10s %10s %10s %8s\n' "$scale" "$build" "$5" "$6" "$7" "$8"
    [ "$4" = "$8" ] || fail "at scale $scale native timed $4 frames and $build $8: not the same run"
    awk -v nm="$1" -v nw="$2" -v nl="$3" -v wm="$5" -v ww="$6" -v wl="$7" -v s="$scale" -v b="$build" \
      'BEGIN { printf "%-6s %s/native: mean %.2fx, worst %.2fx, worst 1s+ %.2fx\n", s, b, wm / nm, ww / nw, wl / nl }'
  done
done
