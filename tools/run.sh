#!/usr/bin/env bash
# Builds the system, installs it into dist/ (a self-contained program directory) and
# runs the proxy there in the foreground, on 127.0.0.1:3036, until Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/build.sh build-run -DBUILD_BENCH=OFF -DBUILD_TESTING=OFF
cmake --install build-run --prefix dist >/dev/null
echo "== program directory: $PWD/dist"
echo "== proxy on 127.0.0.1:3036; Ctrl-C stops it"
echo "== try: curl -x http://127.0.0.1:3036 http://adult.example/   (block page; logged in dist/zpf.log)"
exec dist/zpf
