#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# Idempotent: packages already present are skipped, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libzip-dev zipcmp zipmerge ziptool libturbojpeg0-dev libjpeg-turbo-progs libstb-dev
  libpng-dev libcli11-dev
  zip unzip p7zip-full
  clang libclang-rt-14-dev
  python3 python3-pil fonts-dejavu-core
  lomiri-wallpapers-20.04  # photographs: the previews bench_frame draws
)

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
