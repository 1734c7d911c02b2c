#!/bin/bash
# Installs what the build and the tests need, from Debian's registry only.
# Idempotent: with everything present it only checks and returns.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages=(
  cmake make python3 clang libclang-rt-14-dev dpkg-dev autoconf automake libtool
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  googletest libgtest-dev libbenchmark-dev
  rapidjson-dev nlohmann-json3-dev libsodium-dev libexpat1-dev openssl pkg-config
  wine wine64 xvfb xdotool imagemagick x11-utils fonts-wqy-microhei locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
# A mirror caught mid-sync fails the update now and then; try again, and
# go on with whatever lists there are rather than stop the whole set-up.
apt_update() {
  $sudo apt-get update -qq && return 0
  echo "setup: apt-get update failed; trying once more"
  sleep 5
  $sudo apt-get update -qq && return 0
  echo "setup: going on with the package lists as they are"
}

apt_updated=""
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  apt_updated=1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Wine of the same version beside the 64-bit one, for the runs of the
# 32-bit release program. Debian's wine32 is an i386 package.
. "$root/scripts/wine-env.sh"
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture for 32-bit Wine"
    $sudo dpkg --add-architecture i386
    apt_updated=""
  fi
  [ -n "$apt_updated" ] || { apt_update; apt_updated=1; }
  wine_version=$(dpkg-query -W -f='${Version}' wine64)
  echo "setup: installing wine32:i386 $wine_version"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "wine32:i386=$wine_version" "libwine:i386=$wine_version" >/dev/null ||
    echo "setup: 32-bit Wine could not be installed"
fi
can_run_32bit || echo "setup: 32-bit programs do not run on this machine; the 32-bit whole runs will be skipped"

# Wine takes the system code page from the locale: 936 needs zh_CN.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $sudo sh -c "grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen"
  $sudo locale-gen >/dev/null
fi

# Static builds for both MinGW targets, made once from Debian's source
# packages. A build kept per user, keyed by the source version and the
# compiler, serves every further clone of the tree on this machine.

# Unpacks Debian's source package $1 in .deps/src once (adding deb-src entries
# for the same suites when there are none) and sets srcdir to its folder.
unpack_source() {
  local name=$1
  srcdir=$(find "$deps/src" -maxdepth 1 -type d -name "$name-*" 2>/dev/null | head -1 || true)
  [ -z "$srcdir" ] || return 0
  local list=/etc/apt/sources.list.d/zr-deb-src.sources
  if [ ! -f "$list" ]; then
    echo "setup: adding Debian source entries ($list)"
    $sudo tee "$list" >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt_updated=""
  fi
  [ -n "$apt_updated" ] || { apt_update; apt_updated=1; }
  mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -qq "$name" >/dev/null 2>&1)
  srcdir=$(find "$deps/src" -maxdepth 1 -type d -name "$name-*" | head -1)
  [ -n "$srcdir" ] || { echo "setup: apt-get source $name failed" >&2; exit 1; }
}

# provide NAME PACKAGE LIB BUILD TRIPLET: puts the static library LIB of
# source package NAME in .deps/TRIPLET/NAME, from the per-user cache when it
# holds one for the version of the native PACKAGE and this compiler, else
# made by the function BUILD (TRIPLET PREFIX SRCDIR) and then kept there.
provide() {
  local name=$1 package=$2 lib=$3 build=$4 triplet=$5
  local prefix="$deps/$triplet/$name" cache
  [ -f "$prefix/lib/$lib" ] && return 0
  cache="${XDG_CACHE_HOME:-$HOME/.cache}/zerun-update/$name-$(dpkg-query -W -f='${Version}' "$package")-$triplet-$("$triplet-gcc-posix" -dumpversion)"
  if [ -f "$cache/lib/$lib" ]; then
    mkdir -p "$prefix" && cp -r "$cache/lib" "$cache/include" "$prefix/"
    return 0
  fi
  unpack_source "$name"
  echo "setup: building $name for $triplet"
  "$build" "$triplet" "$prefix" "$srcdir"
  mkdir -p "$cache" && cp -r "$prefix/lib" "$prefix/include" "$cache/" || true
}

# Ed25519 for the document's signature. The minimal build keeps the
# signatures and leaves out what the program never calls; one verification
# of a small document needs no speed, so it is built for size, each function
# in a section of its own for a linker that drops unused ones.
build_sodium() {
  local triplet=$1 prefix=$2 srcdir=$3
  local bdir="$deps/build/sodium-$triplet"
  rm -rf "$bdir" && mkdir -p "$bdir"
  # Debian's source is the project's tree, without a generated configure.
  [ -x "$srcdir/configure" ] || (cd "$srcdir" && autoreconf -fi >/dev/null 2>&1)
  (cd "$bdir" && "$srcdir/configure" --host="$triplet" CC="$triplet-gcc-posix" --prefix="$prefix" \
    CFLAGS="-Os -ffunction-sections -fdata-sections" --enable-minimal --disable-shared --enable-static \
    --disable-ssp --disable-dependency-tracking >/dev/null)
  make -C "$bdir/src/libsodium" -j2 install >/dev/null
  rm -rf "$bdir" "$prefix/lib/pkgconfig" "$prefix/lib/libsodium.la"
}

for triplet in x86_64-w64-mingw32 i686-w64-mingw32; do
  provide libsodium libsodium-dev libsodium.a build_sodium "$triplet"
done
echo "setup: ready"
