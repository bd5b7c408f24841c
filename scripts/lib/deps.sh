# Sourced by scripts/build-windows and scripts/build-web: the libraries they need
# (libopenmpt, the JPEG library) built for their target from Debian's source
# packages of the versions this machine has installed, with only what the demo
# uses, and kept in a cache folder so only the first run builds them.
#
# The caller sets, before calling `dependency`:
#   say, die        its messages (die exits)
#   cache           the cache folder; jobs, the parallelism
#   deps_for        the target as messages name it ("Windows", "the web")
#   deps_build      the build folder's name inside a source folder
#   deps_suffix     added to a cached library's folder name ("" or "-threads")
#   deps_cflags     the C and C++ flags of the libraries
#   deps_cmake      a command: runs CMake's configure for the target (arguments follow)
#   deps_configure  a command: runs an autoconf configure for the target, in its folder
#   deps_make       a command: runs make for the target
# and clears apt_dir and work, which it removes on exit.

# ---- Debian source packages ---------------------------------------------------------
# A private apt configuration: the machine's own archives (whatever its sources
# name) with their source indices, so nothing of the system's apt setup changes.
apt_private() {
  if [ -z "$apt_dir" ]; then
    apt_dir=$(mktemp -d)
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    : >"$apt_dir/sources.list"
    if [ -f /etc/apt/sources.list ]; then
      sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >>"$apt_dir/sources.list"
    fi
    for f in /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$apt_dir/sources.list"
    done
    n=0
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      n=$((n + 1))
      sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$n.sources"
    done
    set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
      -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root \
      -o Debug::NoLocking=1
    say "reading the source indices of this machine's archives"
    apt-get "$@" -qq update >&2 || die "apt-get update of the source indices failed"
  fi
}
apt_source() {  # package version folder (after apt_private, in this shell)
  (cd "$3" && apt-get -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root \
    -o Debug::NoLocking=1 -qq source --only-source "$1=$2" >&2) || die "apt-get source $1=$2 failed"
  find "$3" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# The source package and version behind an installed binary package.
source_of() {
  dpkg-query -W -f '${source:Package} ${source:Version}\n' "$1" 2>/dev/null | head -n 1
}

# ---- the builders -----------------------------------------------------------------------
# The builders run where `set -e` does not hold (their caller tests their status):
# every step says itself when it fails.
build_libjpeg() {  # source-folder prefix
  $deps_cmake -S "$1" -B "$1/$deps_build" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$2" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF -DCMAKE_C_FLAGS="$deps_cflags" >&2 || return 1
  cmake --build "$1/$deps_build" -j"$jobs" --target jpeg-static >&2 || return 1
  mkdir -p "$2/lib" "$2/include" || return 1
  cp "$1/$deps_build/libjpeg.a" "$2/lib/" || return 1
  cp "$1/$deps_build/jconfig.h" "$1/jpeglib.h" "$1/jmorecfg.h" "$1/jerror.h" "$2/include/" || return 1
}

build_libopenmpt() {  # source-folder prefix
  # The library alone: no player, no external decoders (MO3's Vorbis and MP3, zlib).
  (cd "$1" && $deps_configure --prefix="$2" --enable-static --disable-shared \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile --without-flac \
    CFLAGS="$deps_cflags" CXXFLAGS="$deps_cflags" >&2 &&
    $deps_make -j"$jobs" >&2 && $deps_make install >&2)
}

# ---- the cache ----------------------------------------------------------------------------
# Builds (once) the library from the source package behind an installed Debian
# package; sets `prefix` to the folder it is installed in. The folder is marked
# complete only when the builder succeeded and the library files named (relative
# to the folder) are there; a folder without its mark or its files (a failed
# build) is built again.
has_files() {  # folder file...
  dir=$1
  shift
  for f in "$@"; do
    [ -f "$dir/$f" ] || return 1
  done
}
dependency() {  # binary-package builder library-file...
  package=$1
  builder=$2
  shift 2
  files=$*
  # shellcheck disable=SC2046 # the source package and its version, two words
  set -- "$package" "$builder" $(source_of "$package")
  [ $# -eq 4 ] || die "$1 is not installed (scripts/setup play installs it)"
  prefix="$cache/$3-$(echo "$4" | tr ':' '_')$deps_suffix"
  # shellcheck disable=SC2086 # the file names, one word each
  if [ ! -f "$prefix/.complete" ] || ! has_files "$prefix" $files; then
    say "building $3 $4 for $deps_for into $prefix (once)"
    started=$(date +%s)
    work=$(mktemp -d)
    rm -rf "$prefix"
    mkdir -p "$prefix"
    apt_private
    src=$(apt_source "$3" "$4" "$work")
    [ -n "$src" ] || die "no source folder for $3 $4"
    "$2" "$src" "$prefix" || die "building $3 $4 for $deps_for failed"
    # shellcheck disable=SC2086 # the file names, one word each
    has_files "$prefix" $files || die "building $3 $4 for $deps_for left out one of: $files"
    rm -rf "$work"
    work=""
    echo "$3 $4 built in $(( $(date +%s) - started )) s" >"$prefix/.complete"
    say "$(cat "$prefix/.complete")"
  fi
}
