#!/bin/sh
# Runs a Windows program of the build under wine64, in a Wine prefix of the
# build tree's own (WINEPREFIX, when set, is used instead), made on first use
# without the .NET and HTML engines that would ask to be downloaded.
set -e
wine64=$(command -v wine64 || true)
for candidate in /usr/lib/wine/wine64 /usr/lib64/wine/wine64; do
  if [ -z "$wine64" ] && [ -x "$candidate" ]; then wine64=$candidate; fi
done
if [ -z "$wine64" ]; then
  echo "wine-run.sh: wine64 is not installed" >&2
  exit 127
fi
if [ -z "${WINEPREFIX:-}" ]; then
  # The prefix sits at the top of the program's build tree (the folder
  # holding CMakeCache.txt), else in the current folder.
  dir=$(cd "$(dirname "${1:-.}")" 2>/dev/null && pwd -P || pwd -P)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  if [ "$dir" = / ]; then dir=$(pwd -P); fi
  WINEPREFIX="$dir/wine-prefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Tests started side by side by ctest -j make the prefix once.
  flock "$WINEPREFIX.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$0" wineboot -i >/dev/null 2>&1' "$wine64"
fi
exec "$wine64" "$@"
