#!/usr/bin/env bash
# tools/build.sh BUILD_DIR [cmake options...]: configures and builds one tree (only the
# target BUILD_TARGET when that is set).
set -euo pipefail
dir=$1; shift
# Ninja when it is there, for a new tree only: an existing tree keeps its generator.
gen=()
if [ -z "${CMAKE_GENERATOR:-}" ] && [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja > /dev/null; then
  gen=(-G Ninja)
fi
cmake -S "$(dirname "$0")/.." -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
