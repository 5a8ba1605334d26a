#!/usr/bin/env bash
# Builds and runs every test: the plain build, the AddressSanitizer + UBSan build,
# the ThreadSanitizer build of the threaded tests, and a short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

echo "== plain build"
bash tools/build.sh build
ctest --test-dir build -j"$jobs" --timeout 600

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
bash tools/build.sh build-asan -DENABLE_ASAN=ON -DENABLE_UBSAN=ON -DBUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --timeout 900 -LE nosan

if [ -n "$(ls tests/proxy 2>/dev/null)" ]; then
  echo "== ThreadSanitizer (threaded tests)"
  bash tools/build.sh build-tsan -DENABLE_TSAN=ON -DBUILD_BENCH=OFF
  TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j"$jobs" --timeout 900 -L threads
fi

echo "== fuzzers (short runs)"
CC=clang CXX=clang++ bash tools/build.sh build-fuzz -DENABLE_FUZZING=ON -DBUILD_BENCH=OFF -DBUILD_TESTING=ON
for f in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$f")
  corpus=tests/fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "-- $name"
  "$f" -max_total_time="${FUZZ_SECONDS:-20}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
echo "all tests passed"
