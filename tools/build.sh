#!/usr/bin/env bash
# tools/build.sh BUILD_DIR [cmake options...]: configures and builds one tree (only the
# target BUILD_TARGET when that is set).
set -euo pipefail
dir=$1; shift
cmake -S "$(dirname "$0")/.." -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
