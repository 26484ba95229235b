#!/usr/bin/env bash
# Builds the image libraries for the Windows trees as static libraries:
#
#   cmake/deps/build_deps.sh OUT ARCH...      (ARCH: i686 or x86_64)
#
# For each ARCH, OUT/ARCH/{include,lib} receive libjpeg-turbo, libtiff and
# libpng built from Debian's source packages of the versions pinned in
# cmake/deps/versions, and zlib copied from Debian's libz-mingw-w64-dev.
# The sources come through an apt configuration of this script's own
# (OUT/apt: its list of sources, lists and cache), never the machine's.
# A stamp per architecture records the pinned versions, this script and
# the compiler: a second run with the same ones does nothing.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
[ $# -ge 2 ] || { echo "usage: $0 OUT i686|x86_64..." >&2; exit 2; }
OUT=$(mkdir -p "$1" && cd "$1" && pwd); shift
JOBS=${JOBS:-2}

declare -A VERSION
while read -r package version _; do
  case "$package" in ''|'#'*) continue ;; esac
  VERSION[$package]=$version
done <"$HERE/versions"
for package in libjpeg-turbo tiff libpng1.6 libz-mingw-w64-dev; do
  [ -n "${VERSION[$package]:-}" ] || { echo "build_deps: $HERE/versions pins no $package" >&2; exit 1; }
done

# Two builds of the project at once wait for each other here.
exec 9>"$OUT/.lock"
flock 9

log() { printf 'deps: %s\n' "$*"; }

# An epoch is part of the version apt knows, not of the folder a source
# package unpacks into.
upstream() { local v=${1#*:}; printf '%s' "${v%-*}"; }

APT_DIR=$OUT/apt
apt_options() {
  printf '%s\n' -o "Dir::Etc::SourceList=$APT_DIR/sources.list" -o Dir::Etc::SourceParts=/dev/null \
    -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache=$APT_DIR/cache" -o APT::Sandbox::User=root
}

# The source packages, unpacked once (with Debian's patches applied) into
# OUT/src/<package>-<version>.
fetch_sources() {
  local wanted=() package
  for package in libjpeg-turbo tiff libpng1.6; do
    [ -f "$(source_dir "$package")/.unpacked" ] || wanted+=("$package=${VERSION[$package]}")
  done
  [ ${#wanted[@]} -eq 0 ] && return 0
  command -v dpkg-source >/dev/null || { echo "build_deps: dpkg-source is missing (./vorel setup installs dpkg-dev)" >&2; exit 1; }
  mkdir -p "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial" "$OUT/src"
  printf '%s\n' "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    >"$APT_DIR/sources.list"
  local options
  mapfile -t options < <(apt_options)
  log "fetching ${wanted[*]}"
  apt-get "${options[@]}" -qq update
  local work
  work=$(mktemp -d "$OUT/src/.fetch.XXXXXX")
  if ! (cd "$work" && apt-get "${options[@]}" -q source "${wanted[@]}" >"$work/apt-get.log" 2>&1); then
    cat "$work/apt-get.log" >&2
    echo "build_deps: apt-get source could not give ${wanted[*]}; if Debian no longer has a pinned version, pin the one 'apt-cache showsrc' lists in $HERE/versions" >&2
    rm -rf "$work"
    exit 1
  fi
  for package in "${wanted[@]}"; do
    package=${package%%=*}
    local name
    name=$(basename "$(source_dir "$package")")
    [ -d "$work/$name" ] || { echo "build_deps: $package did not unpack into $work/$name" >&2; exit 1; }
    rm -rf "$OUT/src/$name"
    mv "$work/$name" "$OUT/src/$name"
    touch "$OUT/src/$name/.unpacked"
  done
  rm -rf "$work"
}

# libtiff's package is "tiff", unpacking into tiff-4.5.0; libpng's
# "libpng1.6" into libpng1.6-1.6.39.
source_dir() { printf '%s/src/%s-%s' "$OUT" "$1" "$(upstream "${VERSION[$1]}")"; }

cmake_library() {  # arch, package, cmake options...
  local arch=$1 package=$2; shift 2
  local build=$OUT/work/$arch/$package prefix=$OUT/$arch started=$SECONDS
  rm -rf "$build"
  if ! { cmake -S "$(source_dir "$package")" -B "$build" -G "Unix Makefiles" \
           -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_INSTALL_PREFIX="$prefix" \
           -DBUILD_SHARED_LIBS=OFF "$@" &&
         cmake --build "$build" -j"$JOBS" && cmake --install "$build"; } >"$build.log" 2>&1; then
    tail -n 40 "$build.log" >&2
    echo "build_deps: $package for $arch failed (the whole log: $build.log)" >&2
    exit 1
  fi
  log "$package for $arch: $((SECONDS - started)) s"
}

build_arch() {  # arch
  local arch=$1 triple=$1-w64-mingw32 prefix=$OUT/$1
  local zlib_version
  zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || true)
  if [ "$zlib_version" != "${VERSION[libz-mingw-w64-dev]}" ]; then
    echo "build_deps: libz-mingw-w64-dev ${VERSION[libz-mingw-w64-dev]} is pinned, and ${zlib_version:-none} is installed (./vorel setup installs it)" >&2
    exit 1
  fi
  local tool
  for tool in nasm "$triple-gcc-posix" cmake; do
    command -v "$tool" >/dev/null || { echo "build_deps: $tool is missing (./vorel setup installs it)" >&2; exit 1; }
  done
  local stamp want
  want=$( { cat "$HERE/versions" "$HERE/build_deps.sh" "$ROOT/cmake/mingw-$arch.cmake"
            "$triple-gcc-posix" --version | head -n 1; nasm -v; } | sha256sum | cut -d' ' -f1)
  stamp=$prefix/.built
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    log "$arch up to date in $prefix"
    return 0
  fi
  fetch_sources
  local started=$SECONDS
  rm -rf "$prefix" "$OUT/work/$arch"
  mkdir -p "$prefix/include" "$prefix/lib" "$OUT/work/$arch"

  # zlib as Debian built it: the static archive only (beside it lies the
  # import library of zlib1.dll, which nothing here may link).
  cp "/usr/$triple/include/zlib.h" "/usr/$triple/include/zconf.h" "$prefix/include/"
  cp "/usr/$triple/lib/libz.a" "$prefix/lib/"
  local zlib=(-DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a")

  # SIMD through nasm, as Debian builds it; the library picks the code for
  # the processor at run time.
  cmake_library "$arch" libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JAVA=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
  cmake_library "$arch" libpng1.6 -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_FRAMEWORK=OFF -Dld-version-script=OFF "${zlib[@]}"
  # Only the codecs the source writes with: JPEG, Deflate (zlib), LZW and
  # CCITT; PackBits and the other small built-in ones cost nothing.
  cmake_library "$arch" tiff -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Dtiff-deprecated=OFF -Dtiff-opengl=OFF -Dcxx=OFF -Dld-version-script=OFF \
    -Djpeg=ON -Dzlib=ON -Dlzw=ON -Dccitt=ON -Dold-jpeg=OFF -Djpeg12=OFF -Dpixarlog=OFF \
    -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djbig=OFF -Dlibdeflate=OFF -Dlerc=OFF -Dsphinx=OFF \
    -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" "${zlib[@]}"

  local library
  for library in libjpeg.a libpng16.a libtiff.a libz.a; do
    [ -f "$prefix/lib/$library" ] || { echo "build_deps: $arch: $library was not installed" >&2; exit 1; }
  done
  printf '%s\n' "$want" >"$stamp"
  log "$arch built in $((SECONDS - started)) s into $prefix"
}

for arch in "$@"; do
  case "$arch" in
    i686|x86_64) build_arch "$arch" ;;
    *) echo "build_deps: $arch: the architectures are i686 and x86_64" >&2; exit 2 ;;
  esac
done
