#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  # The one formatter version the layout is checked with.
  clang-format-14
  libssl-dev libsqlite3-dev
  # Compressed response bodies are decoded for the phrase scan.
  zlib1g-dev libbrotli-dev
  curl
  # End-to-end tests: the origin server, the upstream proxy and a real browser.
  nginx squid chromium openssl
  # Browser proxy settings: the desktop's proxy keys, read and written by gsettings.
  libglib2.0-bin gsettings-desktop-schemas
  # The update benchmark reads the update's peak memory from GNU time.
  time
  # Profiling the proxy (bench/proxy_bench.sh PROFILE=1): CPU samples and system call counts.
  linux-perf strace
  # Tray mode's window, Vantrel, and their tests and screenshots: Qt 6 Widgets, a virtual display,
  # Japanese fonts, and ImageMagick for the icons and screen grabs; a system tray and a
  # pointer driver for the screenshot of the running program.
  qt6-base-dev xvfb xauth fonts-noto-cjk imagemagick trayer xdotool
  # The log viewer's print test reads its PDF back with pdftotext.
  poppler-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
