#!/usr/bin/env bash
# Builds the libraries the Windows build links, from the Debian sources of the versions the
# Linux build uses, each once into build-windows/deps/<name>-<version> (or $KESTROVA_WINDOWS_DEPS):
# zlib, libxml2 (HTML reader, no iconv: the program decodes pages itself), curl (HTTP and
# HTTPS through Schannel, zlib; no OpenSSL), GoogleTest (Debian's /usr/src/googletest) and
# cpp-httplib's header-only form for the sample server (Debian's own header needs its
# compiled Linux library). A prefix with its .built stamp is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
deps="${KESTROVA_WINDOWS_DEPS:-$root/build-windows/deps}"
jobs="${KESTROVA_JOBS:-2}"
triplet=x86_64-w64-mingw32
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
mkdir -p "$deps"

# The Debian version of an installed package (with its epoch, as apt names it).
debian_version() { dpkg-query -W -f='${Version}' "$1"; }

zlib_version="$(debian_version zlib1g-dev)"
libxml2_version="$(debian_version libxml2-dev)"
curl_version="$(debian_version libcurl4-openssl-dev)"
gtest_version="$(debian_version libgtest-dev)"
httplib_version="$(debian_version libcpp-httplib-dev)"

zlib_prefix="$deps/zlib-${zlib_version#*:}"
libxml2_prefix="$deps/libxml2-${libxml2_version#*:}"
curl_prefix="$deps/curl-${curl_version#*:}"
gtest_prefix="$deps/googletest-${gtest_version#*:}"
httplib_prefix="$deps/cpp-httplib-${httplib_version#*:}"

built() { [ -f "$1/.built" ]; }

work=""
cleanup() {
  if [ -n "$work" ]; then
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# apt-get source with a private source list and lists folder: the system's apt state stays
# as it is. The deb-src lines mirror the system's bookworm entries.
apt_opts=()
prepare_sources() {
  local apt_dir="$work/apt" f
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/parts"
  {
    cat /etc/apt/sources.list 2>/dev/null || true
    for f in /etc/apt/sources.list.d/*.list; do
      if [ -f "$f" ]; then cat "$f"; fi
    done
  } | sed -n 's/^deb \(.*bookworm.*\)$/deb-src \1/p' | grep -v 'packages.cloud.google' \
    >"$apt_dir/src.list" || true
  for f in /etc/apt/sources.list.d/*.sources; do
    # deb822 stanzas: the same entries as deb-src.
    if [ -f "$f" ]; then sed 's/^Types:.*$/Types: deb-src/' "$f" >>"$apt_dir/parts/src.sources"; fi
  done
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/src.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
    -o "APT::Sandbox::User=$(id -un)")  # fetched as this user: the files are its own
  apt-get "${apt_opts[@]}" update -qq
}
fetch_source() {  # fetch_source PACKAGE VERSION: unpacks into $work/src, prints the folder
  local package=$1 version=$2
  mkdir -p "$work/src/$package"
  (cd "$work/src/$package" && apt-get "${apt_opts[@]}" source -qq "$package=$version" >&2)
  find "$work/src/$package" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

step_start=0
begin() {
  echo "== Windows deps: building $1 into ${2#"$root"/}"
  step_start=$SECONDS
}
finish() {
  # pkg-config files name their folders from where they lie, so a moved checkout (or a copied
  # cache) still builds.
  local pc
  for pc in "$1"/lib/pkgconfig/*.pc; do
    [ -f "$pc" ] && sed -i "s|$deps/|\${pcfiledir}/../../../|g" "$pc"
  done
  touch "$1/.built"
  echo "== Windows deps: $2 done in $((SECONDS - step_start)) s"
}

cross_cmake() {  # cross_cmake SOURCE BUILD PREFIX [ARGS...]
  local source=$1 build=$2 prefix=$3
  shift 3
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DKESTROVA_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$build.log" 2>&1 || { tail -n 30 "$build.log"; return 1; }
  cmake --build "$build" -j "$jobs" >>"$build.log" 2>&1 || { tail -n 30 "$build.log"; return 1; }
  cmake --install "$build" >>"$build.log" 2>&1 || { tail -n 30 "$build.log"; return 1; }
}

need_source=""
for p in "$zlib_prefix" "$libxml2_prefix" "$curl_prefix" "$httplib_prefix"; do
  built "$p" || need_source=1
done
if [ -n "$need_source" ] || ! built "$gtest_prefix"; then
  work="$(mktemp -d "${TMPDIR:-/tmp}/kestrova-deps.XXXXXX")"
  chmod 755 "$work"  # apt fetches as its own user
fi
if [ -n "$need_source" ]; then
  prepare_sources
fi

if ! built "$zlib_prefix"; then
  begin "zlib $zlib_version" "$zlib_prefix"
  src="$(fetch_source zlib "$zlib_version")"
  rm -rf "$zlib_prefix"
  # The static library alone: Debian's source has no Windows makefile, and zlib's CMake
  # build names its libraries for MSVC.
  mkdir -p "$work/zlib-build"
  printf '%s\n' adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
    inflate inftrees trees uncompr zutil |
    xargs -P "$jobs" -I{} "$triplet-gcc-posix" -O2 -c "$src/{}.c" -o "$work/zlib-build/{}.o"
  "$triplet-gcc-ar-posix" rcs "$work/zlib-build/libz.a" "$work/zlib-build"/*.o
  mkdir -p "$zlib_prefix/include" "$zlib_prefix/lib/pkgconfig"
  cp "$src/zlib.h" "$src/zconf.h" "$zlib_prefix/include/"
  cp "$work/zlib-build/libz.a" "$zlib_prefix/lib/"
  cat >"$zlib_prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$zlib_prefix
Name: zlib
Description: zlib compression library
Version: $(echo "${zlib_version#*:}" | sed 's/\.dfsg.*//')
Libs: -L\${prefix}/lib -lz
Cflags: -I\${prefix}/include
EOF
  finish "$zlib_prefix" zlib
fi

if ! built "$libxml2_prefix"; then
  begin "libxml2 $libxml2_version" "$libxml2_prefix"
  src="$(fetch_source libxml2 "$libxml2_version")"
  rm -rf "$libxml2_prefix"
  cross_cmake "$src" "$work/libxml2-build" "$libxml2_prefix" \
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF \
    -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_PROGRAMS=OFF \
    -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF \
    -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_DEBUG=OFF -DLIBXML2_WITH_MEM_DEBUG=OFF \
    -DLIBXML2_WITH_RUN_DEBUG=OFF -DLIBXML2_WITH_THREADS=ON
  finish "$libxml2_prefix" libxml2
fi

if ! built "$curl_prefix"; then
  begin "curl $curl_version" "$curl_prefix"
  src="$(fetch_source curl "$curl_version")"
  rm -rf "$curl_prefix"
  # HTTP and HTTPS only, TLS through Windows' own Schannel and its certificate store.
  cross_cmake "$src" "$work/curl-build" "$curl_prefix" -DCMAKE_PREFIX_PATH="$zlib_prefix" \
    -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DHTTP_ONLY=ON \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON -DCURL_BROTLI=OFF \
    -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_DISABLE_LDAP=ON \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
  finish "$curl_prefix" curl
fi

if ! built "$gtest_prefix"; then
  begin "GoogleTest $gtest_version (/usr/src/googletest)" "$gtest_prefix"
  rm -rf "$gtest_prefix"
  cross_cmake /usr/src/googletest "$work/googletest-build" "$gtest_prefix" -DBUILD_GMOCK=ON \
    -DINSTALL_GTEST=ON
  finish "$gtest_prefix" GoogleTest
fi

if ! built "$httplib_prefix"; then
  begin "cpp-httplib $httplib_version (header only)" "$httplib_prefix"
  src="$(fetch_source cpp-httplib "$httplib_version")"
  rm -rf "$httplib_prefix"
  mkdir -p "$httplib_prefix/include" "$httplib_prefix/lib/pkgconfig"
  cp "$src/httplib.h" "$httplib_prefix/include/"
  # No OpenSSL on Windows: the sample server serves plain HTTP there.
  cat >"$httplib_prefix/lib/pkgconfig/cpp-httplib.pc" <<EOF
prefix=$httplib_prefix
Name: cpp-httplib
Description: A C++ HTTP server and client library (header only)
Version: $(echo "$httplib_version" | sed 's/+.*//')
Requires: zlib
Cflags: -I\${prefix}/include -DCPPHTTPLIB_ZLIB_SUPPORT
Libs: -lws2_32
EOF
  finish "$httplib_prefix" cpp-httplib
fi

echo "== Windows deps: ready in ${deps#"$root"/}"
