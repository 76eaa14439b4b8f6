#!/usr/bin/env bash
# Installs the Debian packages that building and testing need; only the missing ones.
set -euo pipefail

pkgs=(cmake ninja-build ccache g++ make pkg-config git dpkg-dev
      googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
      qt6-base-dev qt6-translations-l10n libgl-dev fonts-dejavu-core xvfb xauth
      libpng-dev libfreetype-dev libfontconfig-dev
      libosmium2-dev libprotozero-dev zlib1g-dev libbz2-dev libexpat1-dev liblz4-dev osmium-tool
      libnetcdf-dev gmt-gshhg-low libgeonames0 libglib2.0-dev libglib2.0-bin
      clang locales mawk help2man file desktop-file-utils appstream
      emscripten chromium nodejs
      dbus python3-dbusmock)  # the private bus and the fake UDisks2 of the drive tests
# npm comes with some builds of nodejs; Debian's own is a package of its own.
command -v npm >/dev/null 2>&1 || pkgs+=(npm)

# libFuzzer ships in the runtime package that matches the default clang.
if command -v clang >/dev/null 2>&1; then
  ver=$(clang -dumpversion | cut -d. -f1)
  pkgs+=("libclang-rt-${ver}-dev")
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # clang itself may just have arrived: fetch its runtime too.
  if ! command -v clang >/dev/null 2>&1; then :; else
    ver=$(clang -dumpversion | cut -d. -f1)
    dpkg-query -W -f='${Status}' "libclang-rt-${ver}-dev" 2>/dev/null | grep -q "install ok installed" ||
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "libclang-rt-${ver}-dev" || true
  fi
fi

# The command-line tests run under a Russian and an English locale.
for loc in ru_RU en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$" && [ -f /etc/locale.gen ]; then
    $SUDO sed -i "s/^# *\(${loc}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${loc}.UTF-8 UTF-8" /etc/locale.gen || echo "${loc}.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
done
