#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
#   scripts/test.sh             plain build in build/ (preset default)
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/ (preset asan)
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
if [ "${1:-}" = "--sanitize" ]; then
  preset=asan
fi

bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
