#!/usr/bin/env bash
# Makes vetra-windows-x64.zip from the Windows build (cmake --preset windows): the headless
# workstation and the file tool, static (no DLLs beside them), the sample program directory
# and a short README in Russian. When the build has the window (Qt cross-built by
# scripts/windows-deps.sh --qt), also the installer vetra-setup-x64.exe beside the zip
# (NSIS, packaging/windows/vetra.nsi).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD="${1:-build/windows}"
OUT="${2:-$PWD/vetra-windows-x64.zip}"
SETUP="$(dirname "$OUT")/vetra-setup-x64.exe"
for exe in src/app/vetra-console.exe src/app/vetra-tool.exe; do
  [ -f "$BUILD/$exe" ] || { echo "package-windows: $BUILD/$exe is missing; build the windows preset first" >&2; exit 1; }
done

STAGE="$(mktemp -d)"
trap 'rm -rf "$STAGE"' EXIT
ROOT="$STAGE/vetra"
mkdir -p "$ROOT/пример"
cp "$BUILD/src/app/vetra-console.exe" "$BUILD/src/app/vetra-tool.exe" "$ROOT/"
x86_64-w64-mingw32-strip "$ROOT"/*.exe
cp examples/rig/* "$ROOT/пример/"

# CR LF: the README is read with Notepad.
sed 's/$/\r/' >"$ROOT/README.txt" <<'TEXT'
Vetra: автоматизированное рабочее место хроматографа, Windows x64
================================================================

Что здесь есть
  vetra-console.exe  рабочее место без окна: тот же контроллер, что и в окне программы,
                     цикл опроса 400 мс, порт хроматографа, почтовые ящики станции.
  vetra-tool.exe     просмотр файлов каталога программы (настройки, таблица результатов,
                     выгрузка таблицы в CSV, XLSX и LAS).
  пример\            пример каталога программы: настройки, калибровка, проба.

Чего здесь нет
  Окна программы (графика, страниц, диалогов) в этой сборке нет: его собирают на
  Windows из исходных текстов с Qt 6 (см. README.md проекта).

Запуск рядом со станцией регистрации
  1. Скопируйте папку в каталог программы, например C:\Vetra. Файлы настроек
     (хроматограф.ini, calibr.ini) лежат рядом с программой; если туда нельзя писать,
     используется %LOCALAPPDATA%\vetra. Каталог можно указать явно: --dir КАТАЛОГ.
  2. Станция регистрации должна быть запущена на этом же компьютере: результаты уходят
     в её почтовый ящик \\.\mailslot\Registration\FixedData, команды станции приходят
     в ящик программы \\.\mailslot\chromatograph (разрешите управление:
     remote_control=1 в разделе [основные_настройки] файла хроматограф.ini).
  3. Запуск одного цикла на порту COM1:
         vetra-console.exe --dir C:\Vetra --port COM1 --cycles 1
     Режим по меткам глубины от станции (ждёт команды станции):
         vetra-console.exe --dir C:\Vetra --port COM1 --mode 3
     Порты COM10 и выше указываются так же: --port COM12.
     Без хроматографа, для проверки: vetra-console.exe --dir C:\Vetra --demo --cycles 1
  4. Остановка: Ctrl+C, Ctrl+Break или закрытие окна консоли; при выходе из системы и
     выключении компьютера программа тоже завершается штатно: станции посылается
     сообщение из нулей, настройки и журнал сохраняются.

Режимы (--mode): 0 ручной, 1 по времени, 2 непрерывный, 3 по меткам глубины,
4 по газосумматору.
TEXT

rm -f "$OUT"
(cd "$STAGE" && zip -qr -X "$OUT" vetra)
echo "package-windows: $OUT"

if [ "$(cat "$BUILD/vetra-window.txt" 2>/dev/null)" != ON ]; then
  exit 0
fi
SETUP_STAGE="$STAGE/setup"
mkdir -p "$SETUP_STAGE/пример"
bash scripts/deploy-windows.sh "$BUILD" "$SETUP_STAGE/program" >/dev/null
cp examples/rig/* "$SETUP_STAGE/пример/"
# The program's own files, one by one, for the installer and the uninstaller alike.
NSIS_DIR="$STAGE/nsis"
mkdir -p "$NSIS_DIR"
cp packaging/windows/vetra.nsi "$NSIS_DIR/"
(
  cd "$SETUP_STAGE/program"
  for dir in $(find . -type d | sort); do
    dir="${dir#./}"
    win="${dir//\//\\}"
    [ "$dir" = . ] && win=""
    echo "  SetOutPath \"\$INSTDIR${win:+\\$win}\""
    for file in $(find "./$dir" -maxdepth 1 -type f | sort); do
      echo "  File \"$SETUP_STAGE/program/${file#./}\""
    done
  done
  echo '  SetOutPath "$INSTDIR"'
) >"$NSIS_DIR/files.nsh"
(
  cd "$SETUP_STAGE/program"
  for file in $(find . -type f | sort); do
    file="${file#./}"
    echo "  Delete \"\$INSTDIR\\${file//\//\\}\""
  done
  for dir in $(find . -mindepth 1 -type d | sort -r); do
    dir="${dir#./}"
    echo "  RMDir \"\$INSTDIR\\${dir//\//\\}\""
  done
) >"$NSIS_DIR/unfiles.nsh"
VERSION="$(sed -n 's/^project(vetra VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
rm -f "$SETUP"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DSTAGE="$SETUP_STAGE" \
  -DOUTFILE="$(realpath -m "$SETUP")" "$NSIS_DIR/vetra.nsi" >/dev/null
echo "package-windows: $SETUP ($(du -h "$SETUP" | cut -f1))"
