#!/bin/sh
# The wasm build's frames equal the recorded ones: the headless capture built
# with emscripten (scripts/build-web) runs the whole demo under node at 60 fps
# and scale 1 and writes its frame hashes, which must equal
# tests/app/demo_frames.txt line for line (its comment lines aside). On a
# difference it says how many frames differ and shows the first few.
#
#   tests/web/node_capture_test.sh [CAPTURE_JS [DATA_DIR [EXPECTED]]]
# CAPTURE_JS: default build-wasm/wendril-capture.js; DATA_DIR: the native build's
# data set, default build/data; EXPECTED: default tests/app/demo_frames.txt.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
capture=${1:-$root/build-wasm/wendril-capture.js}
data=${2:-$root/build/data}
expected=${3:-$root/tests/app/demo_frames.txt}
fail() {
  echo "node_capture_test: $*" >&2
  exit 1
}

command -v node >/dev/null || fail "node is missing (scripts/setup web installs it)"
[ -f "$capture" ] || fail "no $capture: scripts/build-web builds it"
[ -f "$data/ragga.xm" ] || fail "no data set in $data: the native build writes it (cmake --build build --target default_data)"
[ -f "$expected" ] || fail "no $expected"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A build of this emscripten run by node 20 needs node's fetch off (it would
# fetch the .wasm by its path as a URL).
status=0
node --no-experimental-fetch "$capture" --data "$data" --hashes "$tmp/hashes.txt" --quiet \
  >"$tmp/out.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$tmp/out.log" >&2; fail "the wasm capture ended with status $status"; }

grep -v '^#' "$expected" >"$tmp/want"
grep -v '^#' "$tmp/hashes.txt" >"$tmp/got"
[ -s "$tmp/want" ] || fail "$expected has no frames"
# Frames by number: a frame missing on either side differs too.
awk 'NR == FNR { want[$1] = $0; next }
     { got[$1] = $0 }
     END {
       for (f in want) if (!(f in got) || got[f] != want[f])
         printf "%d recorded \"%s\", wasm \"%s\"\n", f, want[f], (f in got) ? got[f] : "(none)"
       for (f in got) if (!(f in want)) printf "%d recorded \"(none)\", wasm \"%s\"\n", f, got[f]
     }' "$tmp/want" "$tmp/got" | sort -n >"$tmp/diff"
differ=$(wc -l <"$tmp/diff")
frames=$(wc -l <"$tmp/want")
if [ "$differ" -ne 0 ]; then
  echo "node_capture_test: $differ of $frames frames differ from $expected; the first:" >&2
  head -n 8 "$tmp/diff" | sed 's/^\([0-9]*\) /  frame \1: /' >&2
  exit 1
fi
echo "node_capture_test: all $frames frames of the wasm capture equal $expected"
