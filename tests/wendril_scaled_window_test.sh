#!/bin/sh
# The real-window test of the demo at twice the size: wendril --scale 2 opens a
# 640 x 480 window showing the demo's picture and ends with status 0 on Escape.
# Argument: the build directory.
exec "$(dirname "$0")/wendril_window_test.sh" "${1:-build}" 2
