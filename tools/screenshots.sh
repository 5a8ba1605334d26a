#!/usr/bin/env bash
# tools/screenshots.sh [BUILD-DIR]: draws the tray window and its password dialog on a
# virtual display (Xvfb) and writes docs/screenshots/tray-window.png and
# tray-password.png; then runs the real `zpf tray` beside a system tray (trayer), opens
# its window with a double click on the icon (xdotool) and writes tray-desktop.png.
# Needs xvfb, fonts-noto-cjk, trayer, xdotool and imagemagick (tools/deps.sh).
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

# The real program: a copy of the build's program directory, a tray at the top right.
dir=$(mktemp -d)
cp -r "$build/bin/." "$dir/"
DISPLAY=":$n" trayer --edge top --align right --widthtype pixel --width 120 --height 32 \
  --transparent false --tint 0xdddddd >/dev/null 2>&1 &
trayer=$!
sleep 1
DISPLAY=":$n" LANG=C.UTF-8 "$dir/zpf" tray >/dev/null 2>&1 &
zpf=$!
trap 'kill "$zpf" "$trayer" 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"' EXIT
for _ in $(seq 50); do grep -q "Start OK" "$dir/status.log" 2>/dev/null && break; sleep 0.2; done
sleep 1
# The icon sits at the tray's right end; a double click opens the window.
DISPLAY=":$n" xdotool mousemove 1012 16 click --repeat 2 --delay 80 1
sleep 1.5
DISPLAY=":$n" import -window root -crop 1024x420+0+0 +repage docs/screenshots/tray-desktop.png
ls -l docs/screenshots/tray-window.png docs/screenshots/tray-password.png docs/screenshots/tray-desktop.png
