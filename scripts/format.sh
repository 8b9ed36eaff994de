#!/usr/bin/env bash
# Formats every C++ source of ours with .clang-format (the host SDK's headers
# in sdk/ keep their own layout). --check changes nothing and fails when a
# file is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.h.in' | grep -v '^sdk/')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run -Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
