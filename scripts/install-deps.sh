#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
#   scripts/install-deps.sh [--all]   building and testing (the default)
#   scripts/install-deps.sh --build   the plug-in, lvs, cmake --install and cpack
#   scripts/install-deps.sh --test    what the tests, benchmarks and fuzzers add
# Idempotent: packages already present are skipped, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev nlohmann-json3-dev  # the plug-in module
  libpng-dev libcli11-dev        # lvs
  libzip-dev                     # lvs pack and make_lvs write packages
  file                           # cpack: how its .deb's Depends are found
)

TEST_PACKAGES=(
  libgtest-dev libbenchmark-dev
  libturbojpeg0-dev              # fixtures and the benchmarks' reference decoder
  libjpeg-turbo-progs            # cjpeg: test and benchmark previews, fuzz seeds
  libstb-dev                     # reading lvs's PNGs apart from libpng
  python3                        # the hostile corpus
  clang libclang-rt-dev          # the fuzzers: libFuzzer and the sanitizer runtimes
  clang-format                   # scripts/format.sh --check
  # Debian's PIL and fonts draw bench_frame's previews from the photographs,
  # and remake the sample and the fallback picture.
  python3-pil fonts-dejavu-core
  lomiri-wallpapers-20.04        # photographs: the previews bench_frame draws
)

case "${1:---all}" in
  --build) PACKAGES=("${BUILD_PACKAGES[@]}") ;;
  --test) PACKAGES=("${TEST_PACKAGES[@]}") ;;
  --all) PACKAGES=("${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *) echo "usage: $0 [--build|--test|--all]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
