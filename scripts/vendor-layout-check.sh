#!/usr/bin/env bash
# Builds the module, the entry's and the footage's tests against the host's
# headers through LVS_VENDOR_SDK, as a maintainer with the vendor's SDK does:
# sdk/ is laid out in a scratch folder the way the SDK lays out its own
# (Headers/, Headers/SP/), so the option's include order and the stand-ins a
# Linux build needs are exercised even without the vendor's files.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sdk/Headers"
cp sdk/*.h "$work/sdk/Headers/"
cp -r sdk/SP "$work/sdk/Headers/SP"
cmake -S . -B "$work/build" -G Ninja -DLVS_VENDOR_SDK="$work/sdk" -DLVS_BENCH=OFF >/dev/null
cmake --build "$work/build" -j "$(nproc)" --target LumivastrinImporter entry_registration_test footage_open_test options_roundtrip_test host_record_guard_test
for t in entry_registration_test footage_open_test options_roundtrip_test host_record_guard_test; do "$work/build/tests/$t" --gtest_brief=1; done
# The project's own headers must not have been on the path.
if grep -q -- "-I$PWD/sdk " "$work/build/build.ninja"; then
  echo "vendor-layout-check: sdk/ was on the include path" >&2
  exit 1
fi
echo "vendor-layout-check: built and passed against headers in the vendor's layout"
