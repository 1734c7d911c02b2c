#!/bin/bash
# Installs what the build and the tests need, from Debian's registry only.
# Idempotent: with everything present it only checks and returns.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages=(
  cmake make python3 clang libclang-rt-14-dev dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  googletest libgtest-dev libbenchmark-dev libjpeg62-turbo-dev
  rapidjson-dev nlohmann-json3-dev libsodium-dev openssl pkg-config
  wine wine64 xvfb xdotool imagemagick x11-utils fonts-wqy-microhei locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
apt_updated=""
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  apt_updated=1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes the system code page from the locale: 936 needs zh_CN.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $sudo sh -c "grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen"
  $sudo locale-gen >/dev/null
fi

# libjpeg-turbo for both MinGW targets, built once from Debian's source package.
# A build kept per user, keyed by the source version and the compiler, serves
# every further clone of the tree on this machine.
jpeg_cache() {
  local triplet=$1
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/zerun-update/libjpeg-turbo-$(dpkg-query -W -f='${Version}' libjpeg62-turbo-dev)-$triplet-$("$triplet-gcc-posix" -dumpversion)"
}
build_jpeg() {
  local triplet=$1 prefix="$deps/$1/libjpeg-turbo" cache
  [ -f "$prefix/lib/libjpeg.a" ] && return 0
  cache=$(jpeg_cache "$triplet")
  if [ -f "$cache/lib/libjpeg.a" ]; then
    mkdir -p "$prefix" && cp -r "$cache/lib" "$cache/include" "$prefix/"
    return 0
  fi
  local srcdir
  srcdir=$(find "$deps/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' 2>/dev/null | head -1 || true)
  if [ -z "$srcdir" ]; then
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
    [ -n "$apt_updated" ] || { $sudo apt-get update -qq; apt_updated=1; }
    mkdir -p "$deps/src"
    (cd "$deps/src" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1)
    srcdir=$(find "$deps/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
    [ -n "$srcdir" ] || { echo "setup: apt-get source libjpeg-turbo failed" >&2; exit 1; }
  fi
  echo "setup: building libjpeg-turbo for $triplet"
  local bdir="$deps/build/jpeg-$triplet"
  rm -rf "$bdir"
  cmake -S "$srcdir" -B "$bdir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triplet.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JAVA=OFF -DCMAKE_POLICY_DEFAULT_CMP0057=NEW >/dev/null
  cmake --build "$bdir" -j2 --target jpeg-static >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$bdir/libjpeg.a" "$prefix/lib/"
  cp "$srcdir/jpeglib.h" "$srcdir/jmorecfg.h" "$srcdir/jerror.h" "$bdir/jconfig.h" "$prefix/include/"
  rm -rf "$bdir"
  mkdir -p "$cache" && cp -r "$prefix/lib" "$prefix/include" "$cache/" || true
}
build_jpeg x86_64-w64-mingw32
build_jpeg i686-w64-mingw32
echo "setup: ready"
