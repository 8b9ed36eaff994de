#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
#   scripts/test.sh             plain build in build/ (preset default), then,
#                               when Wine is installed, the Windows build in
#                               build-windows/ with its tests run under wine64
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

# Debian puts wine64 outside PATH.
if [ "$preset" = default ] && { command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ]; }; then
  cmake --preset windows
  cmake --build --preset windows -j "$(nproc)"
  ctest --preset windows -j "$(nproc)"
fi
