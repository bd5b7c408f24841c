#!/bin/sh
# The real-window test: the DirectDraw driver in an SDL window on an X display,
# photographed and typed into with xdotool. Starts a virtual X server (Xvfb) when
# there is no display. Argument: the build directory.
set -eu
build=${1:-build}
for tool in xdotool import; do
  command -v "$tool" >/dev/null || { echo "window_test: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; rm -f "${fdfile:-}"; }
trap cleanup EXIT INT TERM
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  command -v Xvfb >/dev/null || { echo "window_test: no display and no Xvfb" >&2; exit 1; }
  fdfile=$(mktemp)
  # Xvfb picks a free display number and writes it to descriptor 3.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
  xvfb_pid=$!
  i=0
  while [ ! -s "$fdfile" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$fdfile" ] || { echo "window_test: Xvfb did not start" >&2; exit 1; }
  DISPLAY=":$(head -n 1 "$fdfile")"
  export DISPLAY
fi
# A window rather than full screen (a bare X server has no window manager to make
# one), and no message box that nobody would close.
TAVIK_WINDOW_TEST=1 TAVIK_WINDOWED=1 TAVIK_NO_MESSAGE_BOX=1 \
  "$build/window_sdl_test" --gtest_brief=1
