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

"$(dirname "$0")/install-packages.sh" "${packages[@]}"
