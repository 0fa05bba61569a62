#!/usr/bin/env bash
# Installs what Kestrova needs to build, test and run on Debian 12. Idempotent and quiet.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libxml2-dev libcpp-httplib-dev libssl-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev llvm
  curl ca-certificates openssl
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n
  fonts-ipafont-gothic fonts-noto-cjk
  xvfb xauth
  dpkg-dev file lintian desktop-file-utils appstream
)

"$(dirname "$0")/install-packages.sh" "${packages[@]}"
