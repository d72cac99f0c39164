#!/usr/bin/env bash
# Installs every Debian package the project needs; quick when all are present.
set -euo pipefail

PACKAGES=(
  g++ make cmake ninja-build ccache git pkg-config
  libboost-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev qt6-translations-l10n libgl-dev fonts-dejavu-core xvfb xauth
  libxlsxwriter-dev libavahi-client-dev
  locales poppler-utils unzip
  # The Windows build: MinGW-w64 cross compilers, Wine to run its tests, zlib for
  # libxlsxwriter and Qt, patch for Qt's security fixes (scripts/windows-deps.sh builds the
  # rest), zip and NSIS for the package and its installer.
  mingw-w64 wine wine64 libz-mingw-w64-dev patch zip nsis
  # The window's run under Wine looks at the screen and presses keys (tests/e2e/x11_screen.py).
  python3 libxtst6
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The window's tests also run under the operators' locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
