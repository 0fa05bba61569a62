#!/usr/bin/env bash
# Installs what the Windows cross build of Kestrova needs on Debian 12: the MinGW-w64
# compilers (posix threads), wine64 to run the tests, the build tools and the sources of
# GoogleTest (libgtest-dev) and the Linux versions of the libraries, whose Debian versions
# scripts/windows-deps.sh builds for Windows. Idempotent and quiet.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64
  cmake ninja-build pkg-config make dpkg-dev
  libgtest-dev libgmock-dev libcpp-httplib-dev
  zlib1g-dev libxml2-dev libcurl4-openssl-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
