#!/bin/sh
# The Windows program under Wine, on its own virtual X server (Xvfb), in a fresh
# Wine prefix with no network:
#   1. the GDI driver (--window): its window photographed after a second has the
#      structure of the demo's first seconds (tests/window_structure.py, as the
#      Linux window test); Escape from xdotool ends it with status 0 within 2 s;
#   2. the DirectDraw driver (the default) in a Wine virtual desktop, DirectDraw
#      drawn through GDI (no OpenGL): the display mode becomes 320 x 240 while it
#      runs and is back at the desktop's size when it has ended; the picture has
#      the same structure; Escape ends it with status 0 within 2 s;
#   3. a sound device (ALSA's null device): the sound goes out through waveOut;
#   4. no sound device (Wine's audio drivers switched off): the demo says it
#      plays silently and ends with status 0 on Escape;
#   5. start-up failures with the sound device on (a missing picture, a display
#      mode DirectDraw lacks): the designed message box text (read from Wine's
#      message-box trace) and caption (the box window's title), dismissed with
#      xdotool; the sound device closed; status 1;
#   6. the sound output against a stand-in device (waveout_test.exe): refused
#      buffers, positions in bytes past 2^32 bytes, an exit with the device open.
#   7. wendril-capture.exe: the whole demo's frames equal tests/app/demo_frames.txt.
# Arguments: the Linux build folder (data, wendril-capture) and the Windows one.
set -eu
# shellcheck source=tests/lib/x11.sh
. "$(dirname "$0")/../lib/x11.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
winbuild=$(cd "${2:-build-windows}" && pwd)
fail() {
  echo "wine_test: $*" >&2
  for f in "${tmp:-/nonexistent}"/*.png; do
    [ -f "$f" ] && cp "$f" "$winbuild/wine_test_$(basename "$f")" && echo "wine_test: kept $winbuild/wine_test_$(basename "$f")" >&2
  done
  exit 1
}
for tool in wine wineserver Xvfb xdotool import convert python3 timeout; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
for exe in wendril.exe waveout_test.exe wendril-capture.exe; do
  [ -f "$winbuild/$exe" ] || fail "no $winbuild/$exe (scripts/build-windows makes it)"
done
[ -x "$build/wendril-capture" ] || fail "no $build/wendril-capture"
[ -f "$build/data/ragga.xm" ] || fail "no default data set in $build/data"

tmp=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  WINEPREFIX="$tmp/prefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ -n "${WENDRIL_TEST_KEEP:-}" ]; then echo "kept $tmp" >&2; else rm -rf "$tmp"; fi
}
trap cleanup EXIT INT TERM

# Always a display of our own: the mode change must not touch a real screen.
start_xvfb 1024x768x24 "$tmp/display"
WINEPREFIX="$tmp/prefix"
# No Mono or Gecko installer (they would be fetched from the network), no debug
# chatter unless asked for.
WINEDLLOVERRIDES="mscoree,mshtml="
WINEDEBUG=-all
export WINEPREFIX WINEDLLOVERRIDES WINEDEBUG

started=$(date +%s)
wine wineboot --init >"$tmp/boot.log" 2>&1 || { cat "$tmp/boot.log" >&2; fail "wineboot failed"; }
wineserver -w
reg() { wine reg "$@" >/dev/null 2>&1 || fail "wine reg $* failed"; }
# DirectDraw drawn with GDI, so no OpenGL is needed.
reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d gdi /f
# No window manager here: Wine draws the window frames itself. (Left to a window
# manager that is not there, Wine waits 2 s for it whenever a window is hidden.)
reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
echo "wine_test: fresh Wine prefix ready in $(( $(date +%s) - started )) s"

mkdir -p "$tmp/run"
cp -r "$build/data/." "$tmp/run/"
cp "$winbuild/wendril.exe" "$tmp/run/"

# The rendered frames of the first seconds, for the structure check.
"$build/wendril-capture" --quiet --data "$build/data" --fps 10 --from 0.3 --to 7 --out "$tmp/ref" >/dev/null 2>"$tmp/capture.err" ||
  { cat "$tmp/capture.err" >&2; fail "wendril-capture failed"; }

# Starts wendril.exe (arguments passed on) from the data folder in the background.
start_demo() {  # name args...
  name=$1
  shift
  (cd "$tmp/run" && exec wine wendril.exe "$@") >"$tmp/$name.out" 2>"$tmp/$name.err" &
  demo_pid=$!
}

# The X window whose title is exactly $1, waited for up to 20 s.
find_window() {
  i=0
  while [ $i -lt 200 ]; do
    [ -n "$demo_pid" ] && ! kill -0 "$demo_pid" 2>/dev/null && return 1
    w=$(xdotool search --name "^$1\$" 2>/dev/null | tail -n 1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# Photographs the window $1 into $tmp/$2.png, the part $3 (an ImageMagick
# geometry, or "" for all of it), and checks its structure.
check_picture() {  # window name crop
  shot=""
  for _ in 1 2 3; do
    if timeout 10 import -window "$1" -depth 8 "$tmp/$2.png" 2>"$tmp/import.err"; then
      shot=1
      break
    fi
    sleep 0.2
  done
  [ -n "$shot" ] || { cat "$tmp/import.err" >&2; fail "$2: no screenshot"; }
  [ -z "$3" ] || convert "$tmp/$2.png" -crop "$3" +repage "$tmp/$2.png"
  python3 "$here/../window_structure.py" "$tmp/$2.png" "$tmp/ref" >"$tmp/$2.verdict" ||
    { cat "$tmp/$2.verdict" >&2; fail "$2: the window does not show the demo's picture"; }
  echo "wine_test: $2: $(convert "$tmp/$2.png" -format '%wx%h' info:) window, the picture beside the rendered frames:"
  cat "$tmp/$2.verdict"
}

# Sends Escape to window $1; the demo must end with status 0 within 2 s.
escape_ends_it() {  # window name
  escape_and_wait "$1" 5
  [ "$escape_status" -eq 0 ] || { cat "$tmp/$2.err" >&2; fail "$2: ended with status $escape_status after Escape (${escape_ms} ms)"; }
  [ "$escape_ms" -le 2000 ] || fail "$2: took ${escape_ms} ms to end after Escape"
  echo "wine_test: $2: Escape ended it with status 0 after ${escape_ms} ms"
}

# ---- 1. GDI in a window ------------------------------------------------------------
start_demo gdi --window
id=$(find_window Wendril) || { cat "$tmp/gdi.err" >&2; fail "gdi: no window named Wendril"; }
sleep 1
id=$(find_window Wendril) || fail "gdi: the window went away"
# Wine's frame: 3 pixels around, a caption of 19 above the client area.
gdi_size=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: //p')
gdi_w=${gdi_size%x*}
gdi_h=${gdi_size#*x}
# Wine's frame: 3 pixels on each side, a 22-pixel caption. The client area must
# be the whole 320 x 240 picture (the window is sized for it by the system).
[ "$((gdi_w - 6))x$((gdi_h - 25))" = 320x240 ] || fail "gdi: the client area is $((gdi_w - 6))x$((gdi_h - 25)), not 320x240"
check_picture "$id" gdi "$((gdi_w - 6))x$((gdi_h - 25))+3+22"
escape_ends_it "$id" gdi

# ---- 2. DirectDraw, exclusive, in a virtual desktop --------------------------------
# The desktop is started first, on its own, so it stays open after wendril has
# ended and its size can be read then.
reg add 'HKCU\Software\Wine\AppDefaults\wendril.exe\Explorer' /v Desktop /d Wendril /f
wine explorer /desktop=Wendril,1024x768 >"$tmp/explorer.log" 2>&1 &
explorer_pid=$!
desktop=$(find_window 'Wendril - Wine desktop') || fail "ddraw: no virtual desktop"
desktop_size() { xdotool getwindowgeometry "$desktop" 2>/dev/null | sed -n 's/.*Geometry: //p'; }
# Waits up to 10 s for the desktop to have the size $1.
wait_desktop() {
  i=0
  while [ $i -lt 100 ]; do
    [ "$(desktop_size)" = "$1" ] && return 0
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}
wait_desktop 1024x768 || fail "ddraw: the desktop is $(desktop_size), not 1024x768"
WINEDEBUG=-all,+ddraw start_demo ddraw
# The exclusive mode makes the desktop 320 x 240.
wait_desktop 320x240 || { cat "$tmp/ddraw.err" >&2; fail "ddraw: the display mode did not become 320x240 ($(desktop_size))"; }
echo "wine_test: ddraw: display mode 320x240 while it runs"
id=$(find_window Wendril) || { cat "$tmp/ddraw.err" >&2; fail "ddraw: no window named Wendril"; }
sleep 1
check_picture "$desktop" ddraw ""
escape_ends_it "$id" ddraw
wait_desktop 1024x768 || fail "ddraw: the display mode was not given back ($(desktop_size) after the end)"
echo "wine_test: ddraw: display mode 1024x768 again after the end"
# Wine's DirectDraw trace: exclusive full screen (0x13), 320 x 240 at 16 bits,
# vertical-blank waits, and the mode given back by the program's release.
trace="$tmp/ddraw.err"
grep -q 'ddraw1_SetCooperativeLevel.*flags 0x13\.' "$trace" || fail "ddraw: no exclusive full-screen cooperative level"
grep -q 'ddraw1_SetDisplayMode.*width 320, height 240, bpp 16\.' "$trace" || fail "ddraw: no 320x240x16 mode set"
waits=$(grep -c 'ddraw1_WaitForVerticalBlank.*flags 0x1,' "$trace" || true)
[ "$waits" -ge 60 ] || fail "ddraw: $waits vertical-blank waits"
set_at=$(grep -n 'SetDisplayMode' "$trace" | tail -n 1 | cut -d: -f1)
restore_at=$(grep -n 'RestoreDisplayMode' "$trace" | tail -n 1 | cut -d: -f1)
[ -n "$restore_at" ] && [ "$restore_at" -gt "$set_at" ] || fail "ddraw: the program did not give the mode back"
echo "wine_test: ddraw: exclusive mode 320x240x16, $waits vertical-blank waits, mode restored at release"
kill "$explorer_pid" 2>/dev/null || true
reg delete 'HKCU\Software\Wine\AppDefaults\wendril.exe\Explorer' /v Desktop /f

# ---- 3. a sound device -------------------------------------------------------------
# ALSA's null device through Wine's ALSA driver. It takes the sound faster than
# it would play, so only the path is checked: the device opens, the buffers go
# out in turn, the play position is read, and closing it does not hang.
mkdir -p "$tmp/home"
printf 'pcm.!default {\n  type null\n}\n' >"$tmp/home/.asoundrc"
HOME="$tmp/home" WINEDEBUG=-all,+winmm start_demo sound --window
id=$(find_window Wendril) || { cat "$tmp/sound.err" >&2; fail "sound: no window"; }
sleep 1
escape_ends_it "$id" sound
grep -q 'no sound device' "$tmp/sound.err" && { grep 'audio:' "$tmp/sound.err" >&2; fail "sound: the device was not used"; }
writes=$(grep -c 'waveOutWrite dwBufferLength: 4096' "$tmp/sound.err" || true)
reads=$(grep -c 'trace:winmm:waveOutGetPosition' "$tmp/sound.err" || true)
grep -q 'trace:winmm:waveOutClose' "$tmp/sound.err" || fail "sound: the device was not closed"
[ "$writes" -ge 40 ] && [ "$reads" -ge 10 ] || fail "sound: $writes buffers written, $reads positions read"
echo "wine_test: sound: waveOut device used: $writes buffers of 1024 frames written, $reads positions read, closed"

# ---- 4. no sound device ------------------------------------------------------------
reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f
start_demo silent --window
id=$(find_window Wendril) || { cat "$tmp/silent.err" >&2; fail "silent: no window"; }
sleep 1
grep -q 'audio: no sound device (.*); the music plays silently on the wall clock' "$tmp/silent.err" ||
  { cat "$tmp/silent.err" >&2; fail "silent: no word of the silent run"; }
escape_ends_it "$id" silent
echo "wine_test: silent: $(grep 'audio:' "$tmp/silent.err")"

# ---- 5. start-up failures with the sound on -------------------------------------
# The sound device is back (as in 3). Each failure shows its message box, closes
# the sound and ends with status 1 when the box is dismissed.
reg delete 'HKCU\Software\Wine\Drivers' /v Audio /f
# Waits for the message box of the demo started as $1: a window named $2 of
# another size than $3 (the demo's own window; "" when it has none), dismisses it
# with Return, and checks status 1, the sound device opened and closed, and the
# box's text (Wine's message-box trace) holding each of the rest.
box_then_status_1() {  # name title other-size text...
  name=$1
  title=$2
  other=$3
  shift 3
  box=""
  i=0
  while [ -z "$box" ] && [ $i -lt 200 ]; do
    kill -0 "$demo_pid" 2>/dev/null || { cat "$tmp/$name.err" >&2; fail "$name: ended with no message box"; }
    for w in $(xdotool search --name "^$title\$" 2>/dev/null || true); do
      [ "$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Geometry: //p')" = "$other" ] || box=$w
    done
    [ -n "$box" ] || sleep 0.1
    i=$((i + 1))
  done
  [ -n "$box" ] || fail "$name: no message box called $title"
  sleep 0.5
  xdotool windowfocus --sync "$box" key Return 2>/dev/null || xdotool key --window "$box" Return
  (sleep 10; kill -9 "$demo_pid" 2>/dev/null) &
  watcher=$!
  status=0
  wait "$demo_pid" || status=$?
  demo_pid=""
  kill "$watcher" 2>/dev/null || true
  [ "$status" -eq 1 ] || { grep -v ':winmm:' "$tmp/$name.err" >&2; fail "$name: status $status, not 1"; }
  grep -q 'no sound device' "$tmp/$name.err" && { grep 'audio:' "$tmp/$name.err" >&2; fail "$name: the sound was off"; }
  grep -q 'trace:winmm:waveOutOpen' "$tmp/$name.err" && grep -q 'trace:winmm:waveOutClose' "$tmp/$name.err" ||
    fail "$name: the sound device was not opened and closed"
  for want in "$@"; do
    grep -qF "$want" "$tmp/$name.err" || { grep -v ':winmm:' "$tmp/$name.err" >&2; fail "$name: no \"$want\" in the message box"; }
  done
  printf 'wine_test: %s: message box, sound closed, status 1: %s\n' "$name" \
    "$(grep -m 1 -F "$1" "$tmp/$name.err" | sed 's/.*MSGBOX_OnInit //')"
}

# A missing picture (the start-up guard): the box is called Wendril, as the
# demo's window; it is the one of another size than the window of the first run.
mv "$tmp/run/t8-greyb.jpg" "$tmp/t8-greyb.jpg"
HOME="$tmp/home" WINEDEBUG=-all,+msgbox,+winmm start_demo missing --window
box_then_status_1 missing Wendril "$gdi_size" 'Assertion failed!\n\nFile: app/demo.cpp\nLine: ' \
  'Expression: bakg=jpeg_load2pixmap(\"t8-greyb.jpg\")'
mv "$tmp/t8-greyb.jpg" "$tmp/run/t8-greyb.jpg"

# A display mode DirectDraw does not have (1440 x 1080 on a 1024 x 768 screen).
HOME="$tmp/home" WINEDEBUG=-all,+msgbox,+winmm start_demo nomode --scale 4.5
box_then_status_1 nomode Error "" 'Unable to open graphics mode!'

# ---- 6. the sound output against a stand-in device --------------------------------
# waveout_test.exe: a refused buffer and a refused preparation go on silently on
# the wall clock from the last heard frame, said once; a position in bytes wraps
# at 2^32 bytes; an exit with the device open closes it first.
cp "$winbuild/waveout_test.exe" "$tmp/run/"
for case in refused bytes exit; do
  status=0
  (cd "$tmp/run" && exec wine waveout_test.exe "$case") >"$tmp/waveout_$case.crlf" 2>"$tmp/waveout_$case.err" ||
    status=$?
  tr -d '\r' <"$tmp/waveout_$case.crlf" >"$tmp/waveout_$case.out"  # Wine's console writes CR LF
  [ "$status" -eq 0 ] && grep -qx "waveout_test $case: ok" "$tmp/waveout_$case.out" ||
    { cat "$tmp/waveout_$case.out" "$tmp/waveout_$case.err" >&2; fail "waveout_test $case: status $status"; }
  echo "wine_test: $(cat "$tmp/waveout_$case.out")"
done

# ---- 7. the capture's frames --------------------------------------------------------
# wendril-capture.exe (the stand-ins and the headless host): every frame of the
# whole demo equals the recorded one (tests/windows/capture_frames_test.sh).
"$here/capture_frames_test.sh" "$build" "$winbuild" || fail "the Windows capture's frames differ"
echo "wine_test: every Windows check passed in $(( $(date +%s) - started )) s"
