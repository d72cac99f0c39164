#!/usr/bin/env bash
# Cross-builds the two libraries Debian has no MinGW package of, GoogleTest and
# libxlsxwriter, into $VETRA_WINDOWS_DEPS (default ~/.cache/vetra-windows-deps, beside the
# compiler cache, so a fresh clone reuses them). Quick when they are there already.
#
# GoogleTest comes from the sources Debian installs under /usr/src/googletest; libxlsxwriter
# from Debian's own source package, fetched by apt through a source list made from this
# machine's apt configuration (its "deb" entries turned into "deb-src" ones).
set -euo pipefail
cd "$(dirname "$0")/.."

PREFIX="${VETRA_WINDOWS_DEPS:-$HOME/.cache/vetra-windows-deps}"
TOOLCHAIN="$PWD/cmake/mingw-w64-toolchain.cmake"
STAMP="$PREFIX/.built-2"
if [ -f "$STAMP" ]; then
  exit 0
fi

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$PREFIX"

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
APT_DIR="$WORK/apt"
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
(cd "$WORK" && apt-get "${APT_OPTS[@]}" -qq source --download-only libxlsxwriter >/dev/null)
tar -xf "$(ls "$WORK"/libxlsxwriter_*.orig.tar.* | head -n1)" -C "$WORK"
XLSX_SRC="$(find "$WORK" -maxdepth 1 -type d -name 'libxlsxwriter-*' | head -n1)"
cross_cmake "$XLSX_SRC" "$WORK/xlsx" -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
  -DUSE_STANDARD_TMPFILE=ON -DCMAKE_C_FLAGS="-w"

touch "$STAMP"
echo "windows-deps: ready in $PREFIX"
