#!/usr/bin/env bash
# Cross-builds the libraries Debian has no MinGW package of into $VETRA_WINDOWS_DEPS (default
# ~/.cache/vetra-windows-deps, beside the compiler cache, so a fresh clone reuses them).
# Quick when they are there already.
#
#   scripts/windows-deps.sh        GoogleTest and libxlsxwriter (minutes)
#   scripts/windows-deps.sh --qt   also Qt 6 (qtbase, and qtsvg when its source can be fetched)
#                                  for the window (about an hour cold)
#
# GoogleTest comes from the sources Debian installs under /usr/src/googletest; libxlsxwriter
# and Qt from Debian's own source packages, fetched by apt through a source list made from
# this machine's apt configuration (its "deb" entries turned into "deb-src" ones). Qt's
# build folder stays in $VETRA_QT_BUILD (default ~/.cache/vetra-qt-build), so an interrupted
# build resumes where it stopped.
set -euo pipefail
cd "$(dirname "$0")/.."

WITH_QT=0
for arg in "$@"; do
  case "$arg" in
  --qt) WITH_QT=1 ;;
  *)
    echo "usage: $0 [--qt]" >&2
    exit 2
    ;;
  esac
done

PREFIX="${VETRA_WINDOWS_DEPS:-$HOME/.cache/vetra-windows-deps}"
TOOLCHAIN="$PWD/cmake/mingw-w64-toolchain.cmake"
STAMP="$PREFIX/.built-2"
QT_PREFIX="$PREFIX/qt6"
QT_STAMP="$QT_PREFIX/.built-1"
QT_BUILD="${VETRA_QT_BUILD:-$HOME/.cache/vetra-qt-build}"

if [ -f "$STAMP" ] && { [ "$WITH_QT" = 0 ] || [ -f "$QT_STAMP" ]; }; then
  exit 0
fi

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$PREFIX"

# Debian source packages through apt, without touching the machine's own apt state.
APT_DIR="$WORK/apt"
APT_READY=0
apt_source() {
  local package=$1 dest=$2
  if [ "$APT_READY" = 0 ]; then
    mkdir -p "$APT_DIR/lists/partial" "$APT_DIR/sources.list.d"
    : >"$APT_DIR/sources.list"
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$APT_DIR/sources.list"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$APT_DIR/sources.list.d/$(basename "$f")"
    done
    APT_OPTS=(-o "Dir::Etc::SourceList=$APT_DIR/sources.list"
      -o "Dir::Etc::SourceParts=$APT_DIR/sources.list.d"
      -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache::Archives=$APT_DIR"
      -o "APT::Sandbox::User=$(id -un)" -o "Debug::NoLocking=1")
    apt-get "${APT_OPTS[@]}" -qq update >/dev/null
    APT_READY=1
  fi
  mkdir -p "$dest"
  (cd "$dest" && apt-get "${APT_OPTS[@]}" -qq source --download-only "$package" >/dev/null)
}

if [ ! -f "$STAMP" ]; then
  # Boost is headers only: the cross compiler gets a folder holding a link to them, never
  # /usr/include itself (whose other headers are the host's).
  mkdir -p "$PREFIX/boost-include"
  ln -sfn /usr/include/boost "$PREFIX/boost-include/boost"

  cross_cmake() {
    local src=$1 build=$2
    shift 2
    cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$PREFIX" "$@" >/dev/null
    cmake --build "$build" -j2 >/dev/null
    cmake --install "$build" >/dev/null
  }

  echo "windows-deps: GoogleTest"
  cross_cmake /usr/src/googletest "$WORK/gtest" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF

  echo "windows-deps: libxlsxwriter"
  apt_source libxlsxwriter "$WORK"
  tar -xf "$(ls "$WORK"/libxlsxwriter_*.orig.tar.* | head -n1)" -C "$WORK"
  XLSX_SRC="$(find "$WORK" -maxdepth 1 -type d -name 'libxlsxwriter-*' | head -n1)"
  cross_cmake "$XLSX_SRC" "$WORK/xlsx" -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
    -DUSE_STANDARD_TMPFILE=ON -DCMAKE_C_FLAGS="-w"

  touch "$STAMP"
  echo "windows-deps: ready in $PREFIX"
fi

if [ "$WITH_QT" = 0 ] || [ -f "$QT_STAMP" ]; then
  exit 0
fi

# Qt for MinGW. The host's Qt of the same version provides moc, rcc and uic, so the
# source must be the version Debian installed on the host.
QT_VERSION="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null | sed 's/[+~-].*//')"
if [ -z "$QT_VERSION" ]; then
  echo "windows-deps: the host's Qt (qt6-base-dev) is missing: run scripts/install-deps.sh" >&2
  exit 1
fi
# Through the compiler cache; Qt's precompiled headers are cacheable only with these
# sloppiness settings.
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}" CCACHE_BASEDIR="$QT_BUILD"
export CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
mkdir -p "$QT_BUILD"

# Unpacks a source package once into $QT_BUILD, into QT_SRC.
qt_source() {
  local package=$1 module=$2
  local src="$QT_BUILD/$module-everywhere-src-$QT_VERSION"
  if [ ! -f "$src/.unpacked" ]; then
    rm -rf "$src" "$QT_BUILD/download-$package"
    if ! apt_source "$package" "$QT_BUILD/download-$package" 2>/dev/null; then
      echo "windows-deps: the source of $package cannot be fetched from this machine's apt sources" >&2
      return 1
    fi
    local tarball
    tarball="$(ls "$QT_BUILD/download-$package/${package}_"*.orig.tar.* | head -n1)"
    tar -xf "$tarball" -C "$QT_BUILD"
    if [ ! -d "$src" ]; then
      echo "windows-deps: $tarball does not hold Qt $QT_VERSION (the host's version)" >&2
      exit 1
    fi
    # Debian's security fixes go in; its other patches are about Debian's own packaging.
    local debian="$QT_BUILD/download-$package/debian-files"
    mkdir -p "$debian"
    tar -xf "$(ls "$QT_BUILD/download-$package/${package}_"*.debian.tar.* | head -n1)" -C "$debian"
    if [ -f "$debian/debian/patches/series" ]; then
      for patch in $(grep -i '^cve-' "$debian/debian/patches/series" || true); do
        echo "windows-deps: $package: $patch"
        patch -p1 -s -d "$src" <"$debian/debian/patches/$patch"
      done
    fi
    rm -rf "$QT_BUILD/download-$package"
    touch "$src/.unpacked"
  fi
  QT_SRC="$src"
}

# Configures once (again only when the options change), then builds what is left.
qt_module() {
  local module=$1 src=$2
  shift 2
  local build="$QT_BUILD/build-$module"
  local args=(-G Ninja -S "$src" -B "$build" "$@"
    -DCMAKE_INSTALL_PREFIX="$QT_PREFIX" -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF)
  if [ ! -f "$build/build.ninja" ] || [ "$(cat "$build/.vetra-args" 2>/dev/null)" != "${args[*]}" ]; then
    echo "windows-deps: configuring $module"
    cmake "${args[@]}"
    printf '%s' "${args[*]}" >"$build/.vetra-args"
  fi
  echo "windows-deps: building $module"
  cmake --build "$build" -j2
  cmake --install "$build" >/dev/null
}

echo "windows-deps: Qt $QT_VERSION into $QT_PREFIX"
# Debian's "+dfsg" source leaves out the tablet library, so tablet input is off; OpenGL
# stays on (dynamic, loaded at run time) because the Windows platform plugin does not
# compile without it in this version.
qt_source qt6-base qtbase || exit 1
qt_module qtbase "$QT_SRC" \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_CROSSCOMPILING_EMULATOR= \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_tabletevent=OFF -DFEATURE_concurrent=OFF \
  -DFEATURE_xml=OFF -DINPUT_openssl=no
# Qt Svg only serves the window's SVG export; without it the window exports PDF alone.
if qt_source qt6-svg qtsvg; then
  qt_module qtsvg "$QT_SRC" \
    -DCMAKE_TOOLCHAIN_FILE="$QT_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake"
else
  echo "windows-deps: going on without Qt Svg: the window for Windows will export no SVG"
fi

# Qt's offscreen platform, on which the window's tests run, reads its fonts from here on
# Windows (Windows' own fonts are not its business).
mkdir -p "$QT_PREFIX/lib/fonts"
cp /usr/share/fonts/truetype/dejavu/*.ttf "$QT_PREFIX/lib/fonts/"

touch "$QT_STAMP"
echo "windows-deps: Qt ready in $QT_PREFIX"
