#!/bin/sh
# The engine as another project sees it: installs the build into a temporary
# prefix and checks its layout (headers only under include/tavik, the data set and
# tavik-mkassets, which writes that same data set, the guide), builds
# examples/starter from a copy outside the tree against that prefix alone (the
# CMake package, then pkg-config), runs the headless starter with no data folder
# named, from a folder without one, and checks its frames: drawn, the object in the
# middle, the music moving, and the same frames on every run and from both builds.
# Then examples/starter_lit, the same way from the installed tree alone: its frames
# drawn and lit (the shading varies across the sphere), darkening over the run
# with the 2D kit's fade, and the same on every run.
# Argument: the build directory.
set -eu
build=$(cd "${1:-build}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "install_test: $*" >&2; exit 1; }
if grep -Eq '^TAVIK_(SANITIZE|TSAN|FUZZ):BOOL=ON' "$build/CMakeCache.txt"; then
  fail "a sanitizer build is not for installing: run it on the plain build"
fi
for f in libtavik.a libtavik_platform_sdl.a libtavik_platform_headless.a wendril data/ragga.xm data/envmap.jpg; do
  [ -f "$build/$f" ] || fail "build/$f is missing: build everything first"
done
command -v convert >/dev/null || fail "ImageMagick is missing (scripts/setup installs it)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
prefix=$tmp/prefix
version=$(sed -n 's/^project(wendril VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
grep -q "^#define TAVIK_VERSION \"$version\"" "$prefix/include/tavik/engine/version.h" ||
  fail "the installed version.h does not say $version"

# The layout: one folder of our own in include/ (installed_headers_test checks
# what is in it), the data set as the build wrote it, and the tool that writes it.
[ "$(ls "$prefix/include")" = tavik ] || fail "include/ holds $(ls "$prefix/include" | tr '\n' ' ')besides tavik/"
data=$prefix/share/tavik/data
for f in ragga.xm envmap.jpg hd/slutbild.gif; do
  cmp -s "$build/data/$f" "$data/$f" || fail "share/tavik/data/$f is not the build's"
done
[ -x "$prefix/bin/tavik-mkassets" ] || fail "bin/tavik-mkassets is not installed"
"$prefix/bin/tavik-mkassets" "$tmp/made" >/dev/null || fail "the installed tavik-mkassets failed"
diff -r "$data" "$tmp/made" >"$tmp/made.diff" || { cat "$tmp/made.diff" >&2; fail "share/tavik/data is not what tavik-mkassets writes"; }
doc=$prefix/share/doc/tavik
[ -f "$doc/guide.md" ] || fail "share/doc/tavik/guide.md is not installed"
for picture in $(sed -n 's/.*!\[[^]]*\](\([^) :]*\)[) ].*/\1/p' "$src/docs/guide.md"); do
  cmp -s "$src/docs/$picture" "$doc/$picture" || fail "the guide's picture $picture is not installed beside it"
done
# The API reference goes with it when scripts/docs wrote it for this version; if
# not, the install says that it left it out.
if grep -q "projectnumber\">&#160;$version<" "$src/build/docs/html/index.html" 2>/dev/null; then
  cmp -s "$src/build/docs/html/index.html" "$doc/html/index.html" || fail "the API reference is not installed"
else
  [ ! -e "$doc/html" ] || fail "an API reference not of $version was installed"
  grep -q "installed the guide alone" "$tmp/install.log" || fail "the install did not say it left out the API reference"
fi
[ "$("$build/wendril" --version)" = "wendril $version" ] || fail "wendril --version does not say $version"

# The CMake package, from a clean build folder; the starter's own folder is a copy.
cp -R "$src/examples/starter" "$tmp/starter"
cmake -S "$tmp/starter" -B "$tmp/cmake" -DCMAKE_PREFIX_PATH="$tmp/prefix" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/configure.log" 2>&1 || { cat "$tmp/configure.log" >&2; fail "configure failed"; }
grep -q "^Tavik_DIR:PATH=$prefix/" "$tmp/cmake/CMakeCache.txt" || fail "find_package(Tavik) did not find the new prefix"
cmake --build "$tmp/cmake" -j2 >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log" >&2; fail "build failed"; }
# Nothing of the tree on the compile or link lines: only the prefix and the system.
if grep -l "$src" "$tmp/cmake/compile_commands.json" "$tmp"/cmake/CMakeFiles/*/link.txt 2>/dev/null; then
  fail "the starter's build names the source tree"
fi

# pkg-config: the same source, the headless host's flags, built by hand.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pkg-config --modversion tavik-headless | grep -qx "$version" || fail "pkg-config does not give version $version"
[ "$(pkg-config --variable=datadir tavik-headless)" -ef "$data" ] ||
  fail "pkg-config's datadir is $(pkg-config --variable=datadir tavik-headless), not the installed data set"
# libpng comes with the engine (the 2D kit saves PNG files): nothing to add.
flags=$(pkg-config --cflags --libs tavik-headless)
# shellcheck disable=SC2086
c++ -std=c++20 -O3 -DNDEBUG -ffp-contract=off -fno-fast-math "$tmp/starter/starter.cpp" -o "$tmp/starter-pc" $flags \
  -DTAVIK_DATA_DIR="\"$(pkg-config --variable=datadir tavik-headless)\"" || fail "the build through pkg-config failed"

# The starters run from an empty folder with no data folder named: they find the
# installed data set themselves.
frames=60
mkdir "$tmp/elsewhere"
cd "$tmp/elsewhere"
run() {  # run PROGRAM OUT
  mkdir "$2"
  "$1" --frames $frames --out "$2" >"$2.log" 2>&1 || { cat "$2.log" >&2; fail "$1 failed"; }
  [ "$(ls "$2" | wc -l)" -eq $frames ] || fail "$1 wrote $(ls "$2" | wc -l) frames, not $frames"
}
run "$tmp/cmake/starter-headless" "$tmp/a"
run "$tmp/cmake/starter-headless" "$tmp/b"
run "$tmp/starter-pc" "$tmp/c"
for f in "$tmp"/a/*.png; do
  cmp -s "$f" "$tmp/b/${f##*/}" || fail "${f##*/} differs between two runs"
  cmp -s "$f" "$tmp/c/${f##*/}" || fail "${f##*/} differs between the CMake and the pkg-config build"
done

# The window build runs on the SDL host too (SDL's dummy video and sound: no
# display needed) and ends after its frames with status 0.
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy TAVIK_WINDOWED=1 TAVIK_NO_MESSAGE_BOX=1 \
  "$tmp/cmake/starter" --frames 30 >"$tmp/sdl.log" 2>&1 || { cat "$tmp/sdl.log" >&2; fail "the SDL starter failed"; }
# Another data folder named on the command line wins; missing data: status 1 and
# a message naming the file.
status=0
"$tmp/cmake/starter-headless" "$tmp/nowhere" --frames 1 --out "$tmp" >/dev/null 2>"$tmp/missing.err" || status=$?
[ $status -eq 1 ] || fail "the starter without its data ended with status $status, not 1"
grep -q "nowhere/envmap.jpg" "$tmp/missing.err" || fail "no message naming the missing file: $(cat "$tmp/missing.err")"

# The music plays: the last frame is some rows into the module.
last_row=$(sed -n "s/^frame $((frames - 1)): order \([0-9]*\) row \([0-9]*\)$/\2/p" "$tmp/a.log")
[ -n "$last_row" ] && [ "$last_row" -ge 2 ] || fail "the music did not move: $(tail -n 1 "$tmp/a.log")"
# The first frame is faded to black; the last is drawn, with the object in the middle.
last=$(printf '%s/a/frame_%04d.png' "$tmp" $((frames - 1)))
[ "$(convert "$tmp/a/frame_0000.png" -format '%k' info:)" -eq 1 ] || fail "the first frame is not all black"
[ "$(convert "$last" -format '%k' info:)" -ge 100 ] || fail "the last frame has fewer than 100 colours"
# The box of everything that differs from the background colour (the corners'):
# its centre within 24 pixels of the screen's, its size that of the torus.
# shellcheck disable=SC2046 # four numbers, split on purpose
set -- $(convert "$last" -fuzz 3% -trim -format '%w %h %X %Y' info:)
w=$1 h=$2 x=${3#+} y=${4#+}
cx=$((x + w / 2)) cy=$((y + h / 2))
[ "$cx" -ge 136 ] && [ "$cx" -le 184 ] && [ "$cy" -ge 96 ] && [ "$cy" -le 144 ] ||
  fail "the object is not in the middle: box ${w}x$h at $x,$y"
[ "$w" -ge 80 ] && [ "$w" -le 240 ] && [ "$h" -ge 80 ] && [ "$h" -le 230 ] ||
  fail "the object is not the torus's size: box ${w}x$h at $x,$y"
# The lit example from the installed tree alone: a sphere under the headlight,
# faded towards black over the run, saved through pixmap_save_png.
cp -R "$src/examples/starter_lit" "$tmp/lit"
cmake -S "$tmp/lit" -B "$tmp/lit-build" -DCMAKE_PREFIX_PATH="$tmp/prefix" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/lit-configure.log" 2>&1 || { cat "$tmp/lit-configure.log" >&2; fail "starter_lit: configure failed"; }
cmake --build "$tmp/lit-build" -j2 >"$tmp/lit-build.log" 2>&1 || { cat "$tmp/lit-build.log" >&2; fail "starter_lit: build failed"; }
if grep -l "$src" "$tmp/lit-build/compile_commands.json" "$tmp"/lit-build/CMakeFiles/*/link.txt 2>/dev/null; then
  fail "starter_lit's build names the source tree"
fi
lit_frames=24
for run in la lb; do
  mkdir "$tmp/$run"
  "$tmp/lit-build/starter-lit" --frames $lit_frames --out "$tmp/$run" >"$tmp/$run.log" 2>&1 ||
    { cat "$tmp/$run.log" >&2; fail "starter-lit failed"; }
  [ "$(ls "$tmp/$run" | wc -l)" -eq $lit_frames ] || fail "starter-lit wrote $(ls "$tmp/$run" | wc -l) frames, not $lit_frames"
done
for f in "$tmp"/la/*.png; do
  cmp -s "$f" "$tmp/lb/${f##*/}" || fail "starter_lit's ${f##*/} differs between two runs"
done
# Drawn and lit: the sphere covers the middle of the first frame, and the
# facets there take many levels of the light (greys), brightest facing the eye.
first=$tmp/la/frame_0000.png
lit_colours=$(convert "$first" -crop 160x160+80+40 -format '%k' info:)
[ "$lit_colours" -ge 12 ] || fail "starter_lit's sphere shows $lit_colours colours: not lit facet by facet"
centre=$(convert "$first" -format '%[fx:int(255*p{160,120}.r)] %[fx:int(255*p{160,120}.g)] %[fx:int(255*p{160,120}.b)]' info:)
rim=$(convert "$first" -format '%[fx:int(255*p{245,120}.r)]' info:)
# shellcheck disable=SC2086 # three numbers, split on purpose
set -- $centre
[ "$1" -eq "$2" ] && [ "$2" -eq "$3" ] && [ "$1" -ge 200 ] || fail "starter_lit's centre is $centre, not a bright grey"
[ "$rim" -lt $(($1 - 60)) ] || fail "starter_lit's rim ($rim) is not darker than its centre ($1)"
# Darker over the run: the mean brightness falls from the first frame to the
# middle one to the last.
brightness() { convert "$1" -colorspace Gray -format '%[fx:int(1000*mean)]' info:; }
b0=$(brightness "$first")
b1=$(brightness "$(printf '%s/la/frame_%04d.png' "$tmp" $((lit_frames / 2)))")
b2=$(brightness "$(printf '%s/la/frame_%04d.png' "$tmp" $((lit_frames - 1)))")
[ "$b0" -gt "$b1" ] && [ "$b1" -gt "$b2" ] || fail "starter_lit does not darken over the run: brightness $b0, $b1, $b2 (of 1000)"

echo "install_test: $version installed (headers in include/tavik, $(find "$data" -type f | wc -l) data files, tavik-mkassets);" \
  "starter built with CMake and pkg-config, on the installed data; $frames frames, the same every run; object ${w}x$h at $x,$y;" \
  "starter_lit: $lit_colours colours on the sphere, centre grey $1, rim $rim, brightness $b0 > $b1 > $b2"
