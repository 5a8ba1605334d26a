#!/usr/bin/env bash
# Builds the benchmarks with release flags in build-bench and runs every bench_*
# program; arguments are passed to each (e.g. --benchmark_filter=Cipher).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
targets=$(cmake --build build-bench --target help | sed -n 's/^\.\.\. \(bench_[A-Za-z0-9_]*\).*/\1/p')
if [ -z "$targets" ]; then
  echo "no benchmarks (is Google Benchmark installed?)"
  exit 0
fi
for t in $targets; do
  cmake --build build-bench --target "$t" -j2
done
for t in $targets; do
  if [ "$t" = bench_proxyload ]; then
    # Needs servers to load; the driver script starts them.
    echo "== $t: run by hand with bash bench/proxy_bench.sh (nginx, zpf, privoxy, tinyproxy; about 5 minutes)"
    continue
  fi
  echo "== $t"
  "build-bench/bin/$t" "$@"
done
