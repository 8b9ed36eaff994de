#!/usr/bin/env bash
# The main job: installs what is needed, builds the plug-in and the lvs tool
# (and nothing for testing: scripts/test.sh turns that back on in build/),
# then shows the sample package through the real module: `lvs info` prints
# what the plug-in records about it, and `lvs render` draws its frame into
# sample.png at the repository root. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --build
cmake -S . -B build -G Ninja -DBUILD_TESTING=OFF -DLVS_BENCH=OFF
cmake --build build --target lvs -j "$(nproc)"

lvs=build/tools/lvs/lvs
"$lvs" info examples/sample.lvs
"$lvs" render examples/sample.lvs -o sample.png
echo "demo: wrote $(pwd)/sample.png"
