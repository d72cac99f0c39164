#!/usr/bin/env bash
# Gathers what vetra.exe needs into a folder, since a cross build has no windeployqt:
# the programs, the Qt DLLs they import (and those import), the platform, style and image
# format plugins the window uses, Qt's Russian texts and the MinGW runtime Qt's DLLs need.
#
#   scripts/deploy-windows.sh [BUILD] OUT    (BUILD: build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD="${1:-build/windows}"
OUT="${2:?usage: $0 [BUILD] OUT}"
DEPS="${VETRA_WINDOWS_DEPS:-$HOME/.cache/vetra-windows-deps}"
QT="$DEPS/qt6"
MINGW=x86_64-w64-mingw32
# Where a DLL may come from; the rest are Windows' own.
DLL_DIRS=("$QT/bin" "/usr/lib/gcc/$MINGW/12-posix" "/usr/$MINGW/lib")
# vetra-tool draws its PDF and SVG files on the offscreen platform.
PLUGINS=(platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll
  imageformats/qjpeg.dll)

[ -f "$BUILD/src/app/ui/vetra.exe" ] || {
  echo "deploy-windows: $BUILD/src/app/ui/vetra.exe is missing (scripts/windows-deps.sh --qt, then the windows preset)" >&2
  exit 1
}
mkdir -p "$OUT"
cp "$BUILD/src/app/ui/vetra.exe" "$BUILD/src/app/vetra-console.exe" "$BUILD/src/app/vetra-tool.exe" "$OUT/"
for plugin in "${PLUGINS[@]}"; do
  mkdir -p "$OUT/$(dirname "$plugin")"
  cp "$QT/plugins/$plugin" "$OUT/$plugin"
done

imports() { "$MINGW-objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
find_dll() {
  local dir
  for dir in "${DLL_DIRS[@]}"; do
    # Import names are case-insensitive on Windows.
    local hit
    hit="$(find "$dir" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null)"
    if [ -n "$hit" ]; then
      echo "$hit"
      return
    fi
  done
}
queue=("$OUT"/*.exe)
for plugin in "${PLUGINS[@]}"; do queue+=("$OUT/$plugin"); done
while ((${#queue[@]})); do
  file="${queue[0]}"
  queue=("${queue[@]:1}")
  for name in $(imports "$file"); do
    [ -e "$OUT/$name" ] && continue
    source="$(find_dll "$name")"
    [ -n "$source" ] || continue
    cp "$source" "$OUT/$name"
    queue+=("$OUT/$name")
  done
done
"$MINGW-strip" "$OUT"/*.exe "$OUT"/*.dll "$OUT"/*/*.dll

# Qt finds its plugins beside the program; qt.conf points it to the translations.
mkdir -p "$OUT/translations"
cp /usr/share/qt6/translations/qtbase_ru.qm "$OUT/translations/"
printf '[Paths]\r\nPrefix=.\r\nPlugins=.\r\nTranslations=translations\r\n' >"$OUT/qt.conf"
echo "deploy-windows: $OUT ($(du -sh "$OUT" | cut -f1))"
