#!/bin/sh
# scripts/build-windows's library cache: a library whose build fails is not
# marked complete (so the next run builds it again) and the run fails, saying
# which; one whose build succeeds is marked complete. The Debian source download
# and CMake are stand-ins first on PATH (no network, seconds instead of minutes):
# the source is a folder with the JPEG library's headers, CMake configures by
# writing jconfig.h and builds by writing libjpeg.a, or fails to build; the
# module library's configure always fails, so no run gets to the program.
# The cache is a temporary folder.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "build_windows_test: $*" >&2
  exit 1
}

mkdir -p "$tmp/bin"
real_apt=$(command -v apt-get) || fail "no apt-get"
cat >"$tmp/bin/apt-get" <<EOF
#!/bin/sh
# The private source indices' update and 'apt-get source': a source folder with
# the JPEG library's headers and a configure that fails. Anything else is apt-get.
case " \$* " in
  *" source "*)
    for a in "\$@"; do spec=\$a; done
    dir="\${spec%%=*}-stand-in"
    mkdir -p "\$dir" && touch "\$dir/jpeglib.h" "\$dir/jmorecfg.h" "\$dir/jerror.h" &&
      printf '#!/bin/sh\nexit 1\n' >"\$dir/configure" && chmod +x "\$dir/configure"
    exit ;;
  *" update "*) exit 0 ;;
esac
exec "$real_apt" "\$@"
EOF
cat >"$tmp/bin/cmake" <<'EOF'
#!/bin/sh
# Configure: writes jconfig.h into the build folder. Build: writes libjpeg.a,
# or fails when STAND_IN_BUILD=fail.
if [ "$1" = --build ]; then
  [ "${STAND_IN_BUILD:-}" = fail ] && { echo "cmake stand-in: the build failed" >&2; exit 2; }
  touch "$2/libjpeg.a"
  exit 0
fi
while [ $# -gt 0 ]; do
  [ "$1" = -B ] && mkdir -p "$2" && touch "$2/jconfig.h"
  shift
done
EOF
chmod +x "$tmp/bin/apt-get" "$tmp/bin/cmake"

# Runs scripts/build-windows with the stand-ins; sets `status` and `complete`
# (the cache's completion marks, by folder).
run() {  # name [VAR=value]
  name=$1
  shift
  status=0
  env PATH="$tmp/bin:$PATH" TAVIK_WINDOWS_CACHE="$tmp/cache-$name" "$@" "$root/scripts/build-windows" \
    >"$tmp/$name.log" 2>&1 || status=$?
  complete=$(cd "$tmp/cache-$name" 2>/dev/null && find . -name .complete | sed 's|^\./||; s|/\.complete$||' | sort | tr '\n' ' ')
}

# The JPEG library fails to build: no mark, status 1, the library named.
run failing STAND_IN_BUILD=fail
[ "$status" -ne 0 ] || { cat "$tmp/failing.log" >&2; fail "a failing library build ended with status 0"; }
[ -z "$complete" ] || { cat "$tmp/failing.log" >&2; fail "a failing library build was marked complete: $complete"; }
grep -q '^build-windows: building libjpeg-turbo .* for Windows failed$' "$tmp/failing.log" ||
  { cat "$tmp/failing.log" >&2; fail "no word of the failed JPEG library build"; }
echo "build_windows_test: a failing JPEG library build: status $status, not marked complete"

# It builds: marked complete, with its files; then the module library fails
# (status 1, not marked). The cache starts as an older script left it after a
# failed build: marked complete with no library, which is built again.
broken="$tmp/cache-working/$(dpkg-query -W -f '${source:Package}-${source:Version}' libjpeg62-turbo-dev | tr ':' '_')"
mkdir -p "$broken"
echo "marked by a failed build" >"$broken/.complete"
run working
grep -q '^build-windows: building libjpeg-turbo ' "$tmp/working.log" ||
  { cat "$tmp/working.log" >&2; fail "a JPEG library marked complete without its files was not built again"; }
case "$complete" in
  "libjpeg-turbo-"*" ") ;;
  *) cat "$tmp/working.log" >&2; fail "marked complete: '$complete', not the JPEG library alone" ;;
esac
[ -f "$tmp/cache-working/${complete% }/lib/libjpeg.a" ] || fail "marked complete without lib/libjpeg.a"
[ "$status" -ne 0 ] && grep -q '^build-windows: building libopenmpt .* for Windows failed$' "$tmp/working.log" ||
  { cat "$tmp/working.log" >&2; fail "the failing module library build: status $status"; }
echo "build_windows_test: a working JPEG library build: marked complete; a failing libopenmpt build: status $status, not marked"
