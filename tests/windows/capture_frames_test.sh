#!/bin/sh
# wendril-capture.exe under Wine: the whole default span at 60 fps and scale 1
# (--hashes) gives the line of tests/app/demo_frames.txt for every frame, so the
# Windows build draws the very frames of the headless capture on Linux. When
# frames differ it says how many, in which orders, and the first ones.
# Arguments: the Linux build folder (its data set), the Windows build folder and,
# optionally, the hashes to compare with (default tests/app/demo_frames.txt).
# A WINEPREFIX in the environment is used as it is (wine_test.sh passes its own);
# without one the run gets a fresh prefix of its own.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
winbuild=$(cd "${2:-build-windows}" && pwd)
expected=${3:-$root/tests/app/demo_frames.txt}
fail() {
  echo "capture_frames_test: $*" >&2
  exit 1
}
for tool in wine wineserver; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
[ -f "$winbuild/wendril-capture.exe" ] || fail "no $winbuild/wendril-capture.exe (scripts/build-windows makes it)"
[ -f "$build/data/ragga.xm" ] || fail "no default data set in $build/data"
[ -f "$expected" ] || fail "no $expected"

tmp=$(mktemp -d)
own_prefix=""
cleanup() {
  [ -n "$own_prefix" ] && wineserver -k 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=1
  # No Mono or Gecko installer (they would be fetched from the network).
  WINEPREFIX="$tmp/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  export WINEPREFIX WINEDLLOVERRIDES WINEDEBUG
  wine wineboot --init >"$tmp/boot.log" 2>&1 || { cat "$tmp/boot.log" >&2; fail "wineboot failed"; }
  wineserver -w
fi

started=$(date +%s)
(cd "$tmp" && exec wine "$winbuild/wendril-capture.exe" --quiet --data "$build/data" --hashes frames.txt) \
  >"$tmp/capture.out" 2>"$tmp/capture.err" || { cat "$tmp/capture.err" >&2; fail "wendril-capture.exe failed"; }
echo "capture_frames_test: the whole demo captured under Wine in $(( $(date +%s) - started )) s"

! grep -q "$(printf '\r')" "$tmp/frames.txt" || fail "the hashes' lines end in CR LF, not LF as in $expected"
# Frame by frame, the comment lines left out: "N order row hash" on both sides.
grep -v '^#' "$expected" >"$tmp/expected" || true
grep -v '^#' "$tmp/frames.txt" >"$tmp/got" || true
awk '
  NR == FNR { want[$1] = $0; wanted++; next }
  {
    got++
    if (!($1 in want)) { extra++; next }
    if ($0 != want[$1]) {
      split(want[$1], w, " ")
      if (w[2] != $2 || w[3] != $3) moved++
      if (++differ <= 5) printf "  frame %s (order %s, row %s): %s, recorded %s\n", $1, $2, $3, $4, w[4]
      per_order[$2]++
    }
  }
  END {
    if (differ > 5) printf "  ...\n"
    for (o = 0; o < 256; o++) if (o in per_order) printf "  order %d: %d frames differ\n", o, per_order[o]
    if (moved) printf "  %d of them at another music position\n", moved
    if (got != wanted || extra) printf "  %d frames captured, %d recorded\n", got, wanted
    printf "%d\n", differ + extra + (got != wanted) > "/dev/stderr"
  }' "$tmp/expected" "$tmp/got" >"$tmp/report" 2>"$tmp/count"
if [ "$(cat "$tmp/count")" != 0 ]; then
  echo "capture_frames_test: the Windows capture differs from $expected (the first frames that differ):" >&2
  cat "$tmp/report" >&2
  fail "$(cat "$tmp/count") frames differ or are missing"
fi
echo "capture_frames_test: all $(wc -l <"$tmp/got") frames equal $expected"
