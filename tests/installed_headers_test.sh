#!/bin/sh
# Every header the engine installs compiles on its own: each is the only include
# of its translation unit (twice, so its include guard is tried too), against the
# installed include folder alone (include/tavik, the only folder the engine puts
# in include/). No header leans on what another included first.
# Argument: the build directory.
set -eu
build=$(cd "${1:-build}" && pwd)
fail() { echo "installed_headers_test: $*" >&2; exit 1; }
if grep -Eq '^TAVIK_(SANITIZE|TSAN|FUZZ):BOOL=ON' "$build/CMakeCache.txt"; then
  fail "a sanitizer build is not for installing: run it on the plain build"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
[ "$(ls "$tmp/prefix/include")" = tavik ] || fail "include/ holds $(ls "$tmp/prefix/include" | tr '\n' ' ')besides tavik/"
cd "$tmp/prefix/include/tavik"
find . -name '*.h' | sed 's|^\./||' | sort >"$tmp/headers"
[ "$(wc -l <"$tmp/headers")" -ge 25 ] || fail "only $(wc -l <"$tmp/headers") headers installed"
for dir in engine/memory engine/pixmap engine/math engine/jobs engine/geometry engine/raster engine/display engine/music platform; do
  grep -q "^$dir/" "$tmp/headers" || fail "no header installed under $dir"
done
# 1.1 moved these headers; no forwarding header stays at the old path.
for old in engine/geometry/tpoly.h engine/geometry/vector.h engine/anim/quat.h; do
  grep -qx "$old" "$tmp/headers" && fail "$old is installed: it moved in 1.1"
done
grep -Eq 'platform/(standins|hosts)/|platform/host_(driver|audio)\.h' "$tmp/headers" &&
  fail "what is between the stand-ins and the hosts was installed"
grep -qx platform/host.h "$tmp/headers" || fail "platform/host.h was not installed"
# One translation unit per header, two at a time.
export tmp
xargs -P 2 -I HEADER sh -c '
  unit=$tmp/$(echo HEADER | tr / _).cpp
  printf "#include \"%s\"\n#include \"%s\"\n" HEADER HEADER >"$unit"
  c++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$tmp/prefix/include/tavik" "$unit" 2>"$unit.err" ||
    { echo "installed_headers_test: HEADER does not compile alone:" >&2; head -n 20 "$unit.err" >&2; exit 255; }
' <"$tmp/headers" || fail "some headers do not compile alone"
echo "installed_headers_test: $(wc -l <"$tmp/headers") installed headers compile alone"
