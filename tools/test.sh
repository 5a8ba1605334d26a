#!/usr/bin/env bash
# Builds and runs every test: the plain build, the AddressSanitizer + UBSan build,
# the ThreadSanitizer build of the threaded tests, and a short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1
passed=0
failed=0
# run_ctest DIR [ctest args...]: runs ctest, adds its counts to the totals, stops on failure.
run_ctest() {
  local dir=$1; shift
  local log; log=$(mktemp)
  local rc=0
  ctest --test-dir "$dir" -j"$jobs" "$@" > "$log" 2>&1 || rc=$?
  grep -vE '^ +Start |Test +#[0-9]+: .* Passed' "$log" || true
  local line; line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f)); failed=$((failed + f))
  fi
  rm -f "$log"
  if [ "$rc" -ne 0 ]; then
    echo "tests: $passed passed, $failed failed"
    exit "$rc"
  fi
}

echo "== layout (clang-format 14)"
bash tools/format.sh --check

# Line tables are enough for file:line in test failures and sanitizer reports, and
# compile much quicker than full debug info; the sanitizer builds run at -O1.
plain_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
san_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")

echo "== plain build"
bash tools/build.sh build -DBUILD_TESTING=ON "${plain_flags[@]}"
run_ctest build --timeout 600

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
bash tools/build.sh build-asan -DBUILD_TESTING=ON -DENABLE_ASAN=ON -DENABLE_UBSAN=ON -DBUILD_BENCH=OFF \
  "${san_flags[@]}"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest build-asan --timeout 900 -LE nosan

echo "== ThreadSanitizer (threaded tests)"
BUILD_TARGET=threaded_tests bash tools/build.sh build-tsan -DBUILD_TESTING=ON -DENABLE_TSAN=ON -DBUILD_BENCH=OFF \
  "${san_flags[@]}"
TSAN_OPTIONS=halt_on_error=1 run_ctest build-tsan --timeout 900 -L threads

echo "== fuzzers (short runs)"
gen=()
[ -f build-fuzz/CMakeCache.txt ] || ! command -v ninja > /dev/null || gen=(-G Ninja)
CC=clang CXX=clang++ cmake -S . -B build-fuzz "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_FUZZING=ON -DBUILD_BENCH=OFF \
  "${plain_flags[@]}" >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
# One fuzzer per core at a time; each writes its own log, printed in order once it ends.
fuzzers=(build-fuzz/fuzz/fuzz_*)
for ((i = 0; i < ${#fuzzers[@]}; i += jobs)); do
  batch=("${fuzzers[@]:i:jobs}")
  pids=() works=()
  for f in "${batch[@]}"; do
    name=$(basename "$f")
    corpus=tests/fuzz/corpus/$name
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    "$f" -max_total_time="${FUZZ_SECONDS:-20}" -timeout=10 -rss_limit_mb=2048 "$work" > "$work.log" 2>&1 &
    pids+=($!) works+=("$work")
  done
  for j in "${!batch[@]}"; do
    work=${works[$j]}
    echo "-- $(basename "${batch[$j]}")"
    if wait "${pids[$j]}"; then
      passed=$((passed + 1)); grep -E '^Done|stat::number_of_executed_units' "$work.log" | tail -n 1 || true
    else
      failed=$((failed + 1)); tail -n 40 "$work.log"
    fi
    rm -rf "$work" "$work.log"
  done
done
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
