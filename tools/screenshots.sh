#!/usr/bin/env bash
# tools/screenshots.sh [BUILD-DIR]: draws the tray window and its password dialog on a
# virtual display (Xvfb) and writes docs/screenshots/tray-window.png and
# tray-password.png. Needs xvfb and fonts-noto-cjk (tools/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target tray_screenshots >/dev/null
mkdir -p docs/screenshots
# A display number nobody uses.
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
DISPLAY=":$n" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 "$build/tools/tray_screenshots" docs/screenshots
ls -l docs/screenshots/tray-window.png docs/screenshots/tray-password.png
