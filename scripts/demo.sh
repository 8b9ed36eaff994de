#!/usr/bin/env bash
# The main job: installs what is needed, builds the plug-in and the lvs tool,
# then shows the sample package through the real module: `lvs info` prints
# what the plug-in records about it, and `lvs render` draws its frame into
# sample.png at the repository root. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target lvs -j "$(nproc)"

lvs=build/tools/lvs/lvs
"$lvs" info examples/sample.lvs
"$lvs" render examples/sample.lvs -o sample.png
echo "demo: wrote $(pwd)/sample.png"
