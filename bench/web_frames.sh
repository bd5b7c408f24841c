#!/bin/sh
# Frame times of the whole demo in wasm under node against the native build, one
# thread, at scale 1 and 4: the mean and the worst frame (drawing and frame end,
# wendril-capture --timings), and wasm's over native's. A long run (minutes), not
# a test: scripts/build-web and the native build first.
#
#   bench/web_frames.sh [WASM_CAPTURE_JS [NATIVE_BUILD]]
# defaults build-wasm/wendril-capture.js and build (its wendril-capture and data).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
wasm=${1:-$root/build-wasm/wendril-capture.js}
native=${2:-$root/build}
fail() {
  echo "web_frames: $*" >&2
  exit 1
}
[ -f "$wasm" ] || fail "no $wasm: scripts/build-web builds it"
[ -x "$native/wendril-capture" ] || fail "no $native/wendril-capture: build the native program first"
[ -f "$native/data/ragga.xm" ] || fail "no data set in $native/data"
command -v node >/dev/null || fail "node is missing (scripts/setup web installs it)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
stats() {  # timings file -> "mean worst" in ms
  awk '{ s += $2; if ($2 > w) w = $2; n++ } END { if (n) printf "%.3f %.3f %d\n", s / n, w, n }' "$1"
}
printf '%-6s %-7s %10s %10s %8s\n' scale build "mean ms" "worst ms" frames
for scale in 1 4; do
  TAVIK_THREADS=1 "$native/wendril-capture" --data "$native/data" --scale "$scale" --timings "$tmp/native" --quiet \
    >/dev/null 2>&1 || fail "the native capture failed at scale $scale"
  TAVIK_THREADS=1 node --no-experimental-fetch "$wasm" --data "$native/data" --scale "$scale" --timings "$tmp/wasm" \
    --quiet >/dev/null 2>&1 || fail "the wasm capture failed at scale $scale"
  set -- $(stats "$tmp/native") $(stats "$tmp/wasm")
  printf '%-6s %-7s %10s %10s %8s\n' "$scale" native "$1" "$2" "$3" "$scale" wasm "$4" "$5" "$6"
  awk -v nm="$1" -v nw="$2" -v wm="$4" -v ww="$5" -v s="$scale" \
    'BEGIN { printf "%-6s wasm/native: mean %.2fx, worst %.2fx\n", s, wm / nm, ww / nw }'
done
