#!/bin/sh
# The demo at a scale whose frames are drawn on every core (rasterizer bands,
# background blocks, copies, fades, the display conversion) gives the bytes of
# one thread: wendril-capture at scale 2.05 (656 x 492, the screen's bottom
# edge cutting a row of background blocks), every 7th frame at 5 frames a
# second, on one thread and on three, compared file by file.
# Argument: the build directory.
set -eu
build=$(cd "${1:-build}" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for threads in 1 3; do
  (cd "$build/data" && TAVIK_THREADS=$threads "$build/wendril-capture" --scale 2.05 --fps 5 --every 7 \
    --out "$out/$threads" --quiet 2>/dev/null)
done
count=0
for f in "$out/1"/frame_*.png; do
  [ -e "$f" ] && count=$((count + 1))
done
if [ "$count" -lt 100 ]; then
  echo "expected over 100 frames, found $count" >&2
  exit 1
fi
for f in "$out/1"/frame_*.png; do
  if ! cmp -s "$f" "$out/3/$(basename "$f")"; then
    echo "$(basename "$f"): three threads drew other bytes than one" >&2
    exit 1
  fi
done
echo "$count frames alike on one and three threads"
