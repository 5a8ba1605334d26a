#!/usr/bin/env bash
# tools/vantrel-screenshots.sh [BUILD-DIR]: starts Vantrel on a virtual display (Xvfb) over
# a temporary program directory holding the sample database, checks that it comes up,
# and draws its main window and every tab of the settings sheet into
# docs/screenshots/vantrel-*.png. Needs xvfb, fonts-noto-cjk and imagemagick (tools/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target Vantrel vantrel_screenshots enciphered_data >/dev/null
dir=$(mktemp -d)
cp -r "$build"/bin/. "$dir"/
rm -rf "$dir/run" "$dir"/*.bak
# A display number nobody uses.
n=95
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
export DISPLAY=":$n" QT_QPA_PLATFORM=xcb LANG=C.UTF-8
# The program itself first: it must show its window (the instance lock says so).
"$dir/Vantrel" &
app=$!
for _ in $(seq 100); do [ -e "$dir/run" ] && break; sleep 0.1; done
sleep 2
kill -0 "$app" || { echo "Vantrel did not stay up" >&2; exit 1; }
# Something was drawn: a blank screen trims down to a single pixel.
import -window root "$dir/desktop.png"
size=$(convert "$dir/desktop.png" -trim -format '%w' info:)
[ "$size" -gt 100 ] || { echo "Vantrel drew no window" >&2; exit 1; }
mkdir -p docs/screenshots
kill "$app"; wait "$app" 2>/dev/null || true; app=""
rm -rf "$dir/run" "$dir"/*.bak
"$build/confapp/vantrel_screenshots" "$dir" docs/screenshots
