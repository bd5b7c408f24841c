#!/bin/sh
# scripts/setup, scripts/run and scripts/test against a fake package system: a
# PATH that holds only the shell's basic tools and stand-ins of dpkg-query,
# apt-get, apt-cache, id and (in some cases) sudo, each logging what it was asked.
# No root, no network, nothing installed. Checks which packages each script asks
# for, the messages when they cannot be installed, and the exit statuses.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "setup_test: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# A copy of the scripts and their package lists: the fakes never see the tree.
mkdir -p "$tmp/tree/scripts" "$tmp/bin" "$tmp/state"
cp -r "$src/scripts/." "$tmp/tree/scripts/"
for tool in sh cat sed tr sort grep ls dirname date rm mkdir env basename find head tail; do
  ln -s "$(command -v "$tool")" "$tmp/bin/$tool"
done
state=$tmp/state
# dpkg-query: a package is installed unless it is named in state/missing.
cat >"$tmp/bin/dpkg-query" <<EOF
#!/bin/sh
for p; do :; done
grep -qx "\$p" "$state/missing" && exit 1
printf 'install ok installed'
EOF
# apt-get: logs its arguments; update fails with state/no-network, install with
# state/no-source; otherwise the packages it installs are no longer missing.
cat >"$tmp/bin/apt-get" <<EOF
#!/bin/sh
echo "apt-get \$*" >>"$state/log"
case " \$* " in
  *" update "*) [ ! -f "$state/no-network" ] || exit 100 ;;
  *" install "*)
    [ ! -f "$state/no-source" ] || { echo "E: Unable to locate package" >&2; exit 100; }
    for p; do grep -vx "\$p" "$state/missing" >"$state/m" || true; mv "$state/m" "$state/missing"; done ;;
esac
EOF
cat >"$tmp/bin/apt-cache" <<EOF
#!/bin/sh
[ ! -f "$state/no-source" ]
EOF
cat >"$tmp/bin/id" <<EOF
#!/bin/sh
cat "$state/uid"
EOF
cat >"$tmp/bin/sudo.fake" <<EOF
#!/bin/sh
echo "sudo \$*" >>"$state/log"
exec "\$@"
EOF
# A cmake that fails at once: scripts/run stops right after its setup.
printf '#!/bin/sh\necho "cmake $*" >>"%s/log"\nexit 1\n' "$state" >"$tmp/bin/cmake"
chmod +x "$tmp/bin/"*
ln -s "$(command -v mv)" "$tmp/bin/mv"

# One case: uid, whether sudo exists, the fault (none, no-network, no-source), the
# missing packages, the command; then the expected status, and patterns that
# must (+) or must not (-) appear in its output and the fakes' log together.
case_no=0
check() {  # uid sudo fault missing command status patterns...
  case_no=$((case_no + 1))
  uid=$1 sudo=$2 fault=$3 missing=$4 command=$5 want=$6
  shift 6
  rm -f "$state/"* "$tmp/bin/sudo"
  echo "$uid" >"$state/uid"
  echo "$missing" | tr ' ' '\n' >"$state/missing"
  : >"$state/log"
  [ "$fault" = none ] || : >"$state/$fault"
  [ "$sudo" = no ] || ln -s sudo.fake "$tmp/bin/sudo"
  set +e
  # shellcheck disable=SC2086
  (cd "$tmp/tree" && PATH="$tmp/bin" DISPLAY= WAYLAND_DISPLAY= $command) >"$tmp/out" 2>&1
  got=$?
  set -e
  cat "$state/log" >>"$tmp/out"
  [ "$got" = "$want" ] || { cat "$tmp/out" >&2; fail "case $case_no ($command): status $got, wanted $want"; }
  for pattern; do
    case $pattern in
      +*) grep -qF -- "${pattern#+}" "$tmp/out" || { cat "$tmp/out" >&2; fail "case $case_no ($command): no '${pattern#+}'"; } ;;
      -*) ! grep -qF -- "${pattern#-}" "$tmp/out" || { cat "$tmp/out" >&2; fail "case $case_no ($command): '${pattern#-}' appeared"; } ;;
    esac
  done
}

# Everything there: silent, nothing asked of apt-get.
check 1000 no none "" "scripts/setup" 0 "-setup:" "-apt-get"
# Not root, no sudo: names the package and the command, status 1, never calls sudo.
check 1000 no none "libsdl2-dev" "scripts/setup" 1 \
  "+not root and no sudo" "+missing packages: libsdl2-dev" \
  "+apt-get update && apt-get install -y --no-install-recommends libsdl2-dev" "-sudo:" "-apt-get update -qq"
# Root: installs exactly what is missing.
check 0 no none "libsdl2-dev cmake" "scripts/setup" 0 "+apt-get install -y -qq --no-install-recommends cmake libsdl2-dev"
# Not root with sudo: through sudo.
check 1000 yes none "cmake" "scripts/setup" 0 "+sudo apt-get install"
# No network, no package source: status 1 and the reason.
check 0 no no-network "cmake" "scripts/setup" 1 "+apt-get update failed" "+missing packages: cmake"
check 0 no no-source "cmake" "scripts/setup" 1 "+no package source offers cmake" "+apt-get update && apt-get install"
# An unknown list.
check 0 no none "" "scripts/setup nosuch" 2 "+no package list 'nosuch'"
# scripts/run takes playing's list only: not Wine, Doxygen, OSMesa or GoogleTest.
check 0 no none "libsdl2-dev wine doxygen libosmesa6-dev googletest" "scripts/run" 1 \
  "+install -y -qq --no-install-recommends libsdl2-dev" "-wine" "-doxygen" "-osmesa" "-googletest" "+cmake -S"
# scripts/run without root: the message, status 1, and no build.
check 1000 no none "libsdl2-dev" "scripts/run" 1 "+missing packages: libsdl2-dev" "-cmake -S"
# scripts/test: every list its steps need, the Windows and web ones included ...
check 0 no none "wine doxygen googletest ffmpeg chromium emscripten" "scripts/test" 1 \
  "+--no-install-recommends chromium doxygen emscripten ffmpeg googletest wine"
# ... but not Windows' or the web's when asked to leave them out.
check 0 no none "wine doxygen chromium" "env TAVIK_SKIP=windows,web scripts/test" 1 "+--no-install-recommends doxygen" \
  "-wine" "-chromium"
# A tool that its package did not bring is named before anything is built.
check 0 no none "" "scripts/test" 1 "+test: cannot run every step; missing:" "+wine (package wine)" "-cmake -S"
check 0 no none "" "env TAVIK_SKIP=wine scripts/test" 2 "+the steps that can be left out are windows, web, asan and tsan"
echo "setup_test: $case_no cases passed"
