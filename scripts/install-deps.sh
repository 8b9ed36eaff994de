#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
#   scripts/install-deps.sh [--all]   building and testing, Windows too (the default)
#   scripts/install-deps.sh --build   the plug-in, lvs, cmake --install and cpack
#   scripts/install-deps.sh --test    what the tests, benchmarks and fuzzers add
#   scripts/install-deps.sh --windows the Windows cross build and Wine to run it
# Idempotent: packages already present are skipped, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev nlohmann-json3-dev  # the plug-in module
  libpng-dev libcli11-dev        # lvs
  libzip-dev                     # lvs pack and make_lvs write packages
  libstb-dev                     # stb_truetype: lvs sheet's text
  # The fonts lvs sheet finds at run time (the .deb recommends them): Latin,
  # Greek and Cyrillic, and CJK; without them it draws with its own face.
  fonts-dejavu-core fonts-droid-fallback
  file                           # cpack: how its .deb's Depends are found
)

TEST_PACKAGES=(
  libgtest-dev libbenchmark-dev
  libturbojpeg0-dev              # fixtures and the benchmarks' reference decoder
  libjpeg-turbo-progs            # cjpeg: test and benchmark previews, fuzz seeds
  # libstb-dev (with --build): stb_image reads lvs's PNGs apart from libpng
  python3                        # the hostile corpus
  clang libclang-rt-dev          # the fuzzers: libFuzzer and the sanitizer runtimes
  clang-format                   # scripts/format.sh --check
  lintian                        # CI: the .deb must pass it without errors or warnings
  # Debian's PIL and fonts draw bench_frame's previews from the photographs,
  # and remake the sample and the fallback picture.
  python3-pil fonts-dejavu-core
  lomiri-wallpapers-20.04        # photographs: the previews bench_frame draws
)

# The Windows build: MinGW-w64's cross compiler (the posix thread model),
# its zlib, and Wine to run the tests. Debian has no MinGW builds of
# libjpeg-turbo, libzip or libpng: their Debian source packages are unpacked
# (with Debian's patches) into WINDOWS_SOURCES, and the build cross-compiles
# them (cmake/WindowsDeps.cmake).
WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine64
  dpkg-dev                       # apt-get source unpacks and patches with dpkg-source
)
WINDOWS_SOURCE_PACKAGES=(libjpeg-turbo libzip libpng1.6)
WINDOWS_SOURCES=${LVS_WINDOWS_SOURCES:-/usr/local/src/lumivastrin-windows}

windows=no
case "${1:---all}" in
  --build) PACKAGES=("${BUILD_PACKAGES[@]}") ;;
  --test) PACKAGES=("${TEST_PACKAGES[@]}") ;;
  --windows) PACKAGES=("${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"); windows=yes ;;
  --all) PACKAGES=("${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"); windows=yes ;;
  *) echo "usage: $0 [--build|--test|--windows|--all]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# The source packages, each once: apt-get source needs deb-src lines for
# the release the machine runs, which a Debian image often lacks.
fetch_windows_sources() {
  local wanted=()
  for p in "${WINDOWS_SOURCE_PACKAGES[@]}"; do
    if ! compgen -G "$WINDOWS_SOURCES/$p-[0-9]*/CMakeLists.txt" >/dev/null; then wanted+=("$p"); fi
  done
  if [ ${#wanted[@]} -eq 0 ]; then
    echo "install-deps: Windows library sources present in $WINDOWS_SOURCES"
    return
  fi
  if ! apt-get source --print-uris -qq "${wanted[0]}" >/dev/null 2>&1; then
    . /etc/os-release
    echo "install-deps: adding Debian's source lines for $VERSION_CODENAME"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$VERSION_CODENAME" "$VERSION_CODENAME" | $SUDO tee /etc/apt/sources.list.d/lumivastrin-deb-src.sources >/dev/null
    $SUDO apt-get update -qq
  fi
  echo "install-deps: unpacking ${wanted[*]} into $WINDOWS_SOURCES"
  $SUDO mkdir -p "$WINDOWS_SOURCES"
  (cd "$WINDOWS_SOURCES" && $SUDO apt-get source -qq "${wanted[@]}" >/dev/null)
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "$windows" = yes ]; then fetch_windows_sources; fi
