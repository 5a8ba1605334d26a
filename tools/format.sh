#!/usr/bin/env bash
# tools/format.sh [--check]: formats every C++ file git tracks with Debian's clang-format 14
# (the version is pinned: other versions lay the same code out differently). With --check
# nothing is changed; the files that are not formatted are listed and the exit status is 1.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=clang-format-14
command -v "$tool" >/dev/null || { echo "format.sh: $tool is missing (bash tools/deps.sh)" >&2; exit 2; }
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  # Batches of files, one clang-format per core; each names the files it would change.
  rc=0
  report=$(printf '%s\0' "${files[@]}" | xargs -0 -P"$(nproc)" -n 25 "$tool" --dry-run --Werror 2>&1 >/dev/null) || rc=$?
  mapfile -t bad < <(sed -nE 's/^(.*):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' <<<"$report" | sort -u)
  if [ "$rc" -ne 0 ] && [ ${#bad[@]} -eq 0 ]; then
    echo "$report" >&2
    exit 2
  fi
  if [ ${#bad[@]} -gt 0 ]; then
    echo "not formatted (run: bash tools/format.sh):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
  fi
  echo "format: ${#files[@]} files formatted"
else
  "$tool" -i "${files[@]}"
fi
