#!/bin/sh
# The real-window test of the demo itself: the wendril binary started from the
# data folder on an X display (Xvfb when there is none), photographed after a
# second and compared with what wendril-capture renders around that moment, then
# ended with Escape typed by xdotool: exit status 0 within a second.
# Argument: the build directory.
set -eu
build=$(cd "${1:-build}" && pwd)
fail() { echo "wendril_window_test: $*" >&2; exit 1; }
for tool in xdotool import convert python3 timeout; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
[ -x "$build/wendril" ] && [ -x "$build/wendril-capture" ] || fail "build wendril and wendril-capture first"
[ -f "$build/data/ragga.xm" ] || fail "no default data set in $build/data"

tmp=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ -n "${WENDRIL_TEST_KEEP:-}" ]; then echo "kept $tmp" >&2; else rm -rf "$tmp"; fi
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  command -v Xvfb >/dev/null || fail "no display and no Xvfb"
  # Xvfb picks a free display number and writes it to descriptor 3.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
  xvfb_pid=$!
  i=0
  while [ ! -s "$tmp/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$tmp/display" ] || fail "Xvfb did not start"
  DISPLAY=":$(head -n 1 "$tmp/display")"
  export DISPLAY
fi
# No sound device (a container, CI): SDL's dummy driver, so the music still
# drives the timeline on the wall clock.
if [ -z "${SDL_AUDIODRIVER:-}" ] && ! ls /dev/snd/pcm* >/dev/null 2>&1 &&
   [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; then
  SDL_AUDIODRIVER=dummy
  export SDL_AUDIODRIVER
fi

# A window rather than full screen (a bare X server has no window manager to make
# one), and no message box that nobody would close.
(cd "$build/data" && TAVIK_WINDOWED=1 TAVIK_NO_MESSAGE_BOX=1 exec "$build/wendril") >"$tmp/stdout" 2>"$tmp/stderr" &
demo_pid=$!
id=""
i=0
while [ -z "$id" ] && [ $i -lt 100 ]; do
  kill -0 "$demo_pid" 2>/dev/null || { cat "$tmp/stderr" >&2; fail "wendril ended before its window opened"; }
  id=$(xdotool search --name '^Wendril$' 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] || sleep 0.1
  i=$((i + 1))
done
[ -n "$id" ] || fail "no window named Wendril after 10 s"
sleep 1
# The window is looked up again: under load the first one found can be gone by now
# (and import waits for ever on a window that is gone).
shot=""
for attempt in 1 2 3; do
  id=$(xdotool search --name '^Wendril$' 2>/dev/null | tail -n 1 || true)
  if [ -n "$id" ] && timeout 10 import -window "$id" -depth 8 "$tmp/shot_full.png" 2>"$tmp/import.err"; then
    shot=1
    break
  fi
  sleep 0.2
done
[ -n "$shot" ] || { cat "$tmp/import.err" >&2; fail "no screenshot"; }
size=$(convert "$tmp/shot_full.png" -format '%wx%h' info:)
# The window shows the 320 x 240 picture scaled by whole pixels: back to 320 x 240.
convert "$tmp/shot_full.png" -filter box -resize '320x240!' "$tmp/shot.png"

# Not black: the mean brightness. Not garbage: close to what wendril-capture
# renders for that moment. The moment is two numbers: the ball turns by the frame
# but ripples by the clock's ticks, and the window's first frame comes after a
# start-up of varying length. So the frame is found at 60 fps first, then the
# frame rate whose frame there has the same ticks, among a few. The difference is
# summed |a - b| over summed max(a, b) at 80 x 60 (a 16-bit window is a little
# off): measured about 0.10 for the demo's picture, 0.22 and more with red and
# blue swapped or the picture moved by 8 pixels, 0.8 for another part.
mean=$(convert "$tmp/shot.png" -colorspace Gray -format '%[fx:mean]' info:)
awk -v m="$mean" 'BEGIN { exit !(m > 0.02) }' || fail "the window is black (mean $mean)"
python3 - "$build/wendril-capture" "$build/data" "$tmp/shot.png" "$tmp" >"$tmp/match" <<'EOF_PY' ||
import os, subprocess, sys
capture, data, shot_path, tmp = sys.argv[1:5]
SIZE = 80 * 60 * 3

def small(paths):
    """The pictures at 80 x 60, box-filtered, in one ImageMagick run."""
    raw = subprocess.run(["convert", *paths, "-filter", "box", "-resize", "80x60!", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return [raw[i:i + SIZE] for i in range(0, len(raw), SIZE)]

def difference(a, b):
    return sum(abs(x - y) for x, y in zip(a, b)) / max(1, sum(max(x, y) for x, y in zip(a, b)))

shot = small([shot_path])[0]

def compare(fps, first, last, every=1):
    out = os.path.join(tmp, "ref_%d_%d" % (fps, first))
    # Half a frame early: the capture starts at the first frame at or after it.
    subprocess.run([capture, "--quiet", "--data", data, "--fps", str(fps), "--from", "%.6f" % ((first - 0.5) / fps),
                    "--frames", str(last - first + 1), "--every", str(every), "--out", out],
                   check=True, capture_output=True)
    names = sorted(n for n in os.listdir(out) if n.endswith(".png"))
    pictures = small([os.path.join(out, n) for n in names])
    return [(difference(shot, p), fps, int(n[6:12])) for n, p in zip(names, pictures)]

best = min(compare(60, 18, 300, 2))
frame = best[2]
for fps in (60, 50, 42, 36, 31, 27, 24, 21, 19, 17, 15, 13, 11, 9, 7, 5):
    best = min([best] + compare(fps, max(1, frame - 25), frame + 25))
print("%.4f frame %d at %d fps" % (best[0], best[2], best[1]))
EOF_PY
  fail "comparing with wendril-capture failed"
read -r best rest <"$tmp/match"
echo "wendril_window_test: window $size, mean $mean, closest rendered: difference $best, $rest"
awk -v d="$best" 'BEGIN { exit !(d < 0.16) }' || fail "the window does not show the demo's picture (closest: difference $best, $rest)"

start=$(date +%s%N)
xdotool windowfocus --sync "$id" key Escape 2>/dev/null || xdotool key --window "$id" Escape
# A watcher ends it if it hangs; the time taken tells whether it ended by itself.
(sleep 3; kill -9 "$demo_pid" 2>/dev/null) &
watcher=$!
status=0
wait "$demo_pid" || status=$?
end=$(date +%s%N)
demo_pid=""
kill "$watcher" 2>/dev/null || true
ms=$(( (end - start) / 1000000 ))
[ "$status" -eq 0 ] || { cat "$tmp/stderr" >&2; fail "wendril ended with status $status after Escape (${ms} ms)"; }
[ "$ms" -le 1000 ] || fail "wendril took ${ms} ms to end after Escape"
echo "wendril_window_test: Escape ended wendril with status 0 after ${ms} ms"
