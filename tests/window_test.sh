#!/bin/sh
# The real-window test: the DirectDraw driver in an SDL window on an X display,
# photographed and typed into with xdotool. Starts a virtual X server (Xvfb) when
# there is no display. Argument: the build directory.
set -eu
# shellcheck source=tests/lib/x11.sh
. "$(dirname "$0")/lib/x11.sh"
fail() { echo "window_test: $*" >&2; exit 1; }
build=${1:-build}
for tool in xdotool import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; rm -f "${fdfile:-}"; }
trap cleanup EXIT INT TERM
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  command -v Xvfb >/dev/null || fail "no display and no Xvfb"
  fdfile=$(mktemp)
  start_xvfb 1024x768x24 "$fdfile"
fi
# A window rather than full screen (a bare X server has no window manager to make
# one), and no message box that nobody would close.
TAVIK_WINDOW_TEST=1 TAVIK_WINDOWED=1 TAVIK_NO_MESSAGE_BOX=1 \
  "$build/window_sdl_test" --gtest_brief=1
