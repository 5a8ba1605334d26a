#!/usr/bin/env bash
# Builds the system, installs it into dist/ (a self-contained program directory) and
# runs its main job there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/build.sh build-run -DBUILD_BENCH=OFF -DBUILD_TESTING=OFF
cmake --install build-run --prefix dist >/dev/null
echo "== program directory: $PWD/dist"
exec dist/zpfctl config
