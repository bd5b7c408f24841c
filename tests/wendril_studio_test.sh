#!/bin/sh
# The studio in a real window: wendril --studio --from 10:0 on an X display
# (Xvfb when there is none), keys typed with xdotool, the window photographed
# after each: Space holds the picture, '.' steps it one frame, F1 lays the
# overlay over its top left corner only, PgDn shows the next order, Escape ends
# the program with status 0.
# Argument: the build directory.
set -eu
# shellcheck source=tests/lib/x11.sh
. "$(dirname "$0")/lib/x11.sh"
build=$(cd "${1:-build}" && pwd)
fail() {
  echo "wendril_studio_test: $*" >&2
  exit 1
}
for tool in xdotool import convert compare timeout; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
[ -x "$build/wendril" ] || fail "build wendril first"
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

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  command -v Xvfb >/dev/null || fail "no display and no Xvfb"
  start_xvfb 1024x768x24 "$tmp/display"
fi
if [ -z "${SDL_AUDIODRIVER:-}" ] && ! ls /dev/snd/pcm* >/dev/null 2>&1 &&
   [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; then
  SDL_AUDIODRIVER=dummy
  export SDL_AUDIODRIVER
fi

(cd "$build/data" && TAVIK_WINDOWED=1 TAVIK_NO_MESSAGE_BOX=1 exec "$build/wendril" --studio --sync-port 0 --from 10:0) \
  >"$tmp/stdout" 2>"$tmp/stderr" &
demo_pid=$!
id=""
i=0
while [ -z "$id" ] && [ $i -lt 300 ]; do
  kill -0 "$demo_pid" 2>/dev/null || { cat "$tmp/stderr" >&2; fail "wendril ended before its window opened"; }
  id=$(xdotool search --name '^Wendril$' 2>/dev/null | tail -n 1 || true)
  [ -n "$id" ] || sleep 0.1
  i=$((i + 1))
done
[ -n "$id" ] || fail "no window named Wendril after 30 s"

# shot NAME: the window as a PNG, at 320 x 240 (it is a whole multiple of it).
shot() {
  timeout 10 import -window "$id" -depth 8 "$tmp/full.png" 2>/dev/null || fail "no screenshot ($1)"
  convert "$tmp/full.png" -filter box -resize '320x240!' "$tmp/$1.png"
}
# differ A B [GEOMETRY]: pixels that differ between two shots (in a region).
differ() {
  if [ -n "${3:-}" ]; then
    convert "$tmp/$1.png" -crop "$3" +repage "$tmp/a.png"
    convert "$tmp/$2.png" -crop "$3" +repage "$tmp/b.png"
  else
    cp "$tmp/$1.png" "$tmp/a.png"
    cp "$tmp/$2.png" "$tmp/b.png"
  fi
  compare -metric AE "$tmp/a.png" "$tmp/b.png" null: 2>&1 | cut -d' ' -f1
}
key() {
  xdotool windowfocus --sync "$id" key "$1" 2>/dev/null || xdotool key --window "$id" "$1"
  sleep 0.4
}
# changed BEFORE NAME [GEOMETRY]: shoots NAME until it differs from BEFORE (in the
# region), 15 s at most: a seek to an order not passed yet replays up to it first.
changed() {
  j=0
  while :; do
    shot "$2"
    [ "$(differ "$1" "$2" "${3:-}")" -gt 0 ] && return 0
    j=$((j + 1))
    [ $j -lt 50 ] || return 1
    sleep 0.3
  done
}

# Playing: two shots apart differ (the seek to 10:0 replays the demo up to there
# first, which takes a few seconds on a loaded machine).
i=0
while :; do
  shot a0
  sleep 0.3
  shot a1
  [ "$(differ a0 a1)" -gt 0 ] && break
  i=$((i + 1))
  [ $i -lt 60 ] || fail "the picture does not move: the demo is not playing"
done
key space
shot paused
sleep 0.6
shot later
[ "$(differ paused later)" -eq 0 ] || fail "the picture moved while paused ($(differ paused later) pixels)"
key period
changed later stepped || fail "'.' did not step the picture"
moved=$(differ later stepped)
key F1
shot overlay
[ "$(differ stepped overlay 160x30+0+0)" -gt 500 ] || fail "F1 showed no overlay in the top left corner"
[ "$(differ stepped overlay 160x100+160+140)" -eq 0 ] || fail "the overlay reached the bottom right corner"
key F1
key Next
changed overlay next 160x100+160+140 || fail "PgDn did not show the next order"

escape_and_wait "$id" 5
[ "$escape_status" -eq 0 ] || { cat "$tmp/stderr" >&2; fail "wendril ended with status $escape_status after Escape"; }
echo "wendril_studio_test: paused picture held; '.' moved $moved pixels; overlay in the top left only; PgDn moved on; Escape ended it"
