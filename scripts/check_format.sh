#!/usr/bin/env bash
# Checks, without changing anything, that every tracked C and C++ file is laid
# out as .clang-format says; names each file and line that is not and exits
# non-zero. To fix a file: clang-format -i FILE.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if ! command -v clang-format >/dev/null 2>&1; then
  echo "check_format: clang-format is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi

# Tracked files only, so build trees and scratch files never count; outside a
# git checkout, every source file outside build/.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- '*.c' '*.cpp' '*.h')
else
  mapfile -d '' files < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print0)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "check_format: no C or C++ files found" >&2
  exit 1
fi

clang-format --dry-run -Werror --ferror-limit=10 "${files[@]}"
echo "check_format: ${#files[@]} files as .clang-format lays them out"
