#!/usr/bin/env bash
# Builds the filter for a Raspberry Pi on this Debian 12 machine:
#
#   scripts/cross-build.sh arm64    # 64-bit ARM (Raspberry Pi 3, 4, 5 with a 64-bit system)
#   scripts/cross-build.sh armhf    # 32-bit ARM (older Pis, 32-bit Raspberry Pi OS)
#
# It installs Debian's cross compilers, the architecture's -dev packages
# beside the native ones (dpkg --add-architecture) and qemu-user; cross-builds
# the filter, the preview tool and the tests in Release (no sanitizers, no
# benchmarks, no fuzzing) in build-<arch>/; runs the tests under qemu-user;
# and makes the architecture's Debian package with CPack:
# build-<arch>/printer-driver-kordane_<version>_<arch>.deb.
#
# The tests that need a CUPS scheduler running the filter (their names start
# with "Cups") stay on the native build: the scheduler here cannot start an
# ARM program. --no-tests skips the tests, --no-package the package.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case "$arch" in
  arm64) triplet=aarch64-linux-gnu; toolchain=cmake/toolchain-aarch64.cmake ;;
  armhf) triplet=arm-linux-gnueabihf; toolchain=cmake/toolchain-armhf.cmake ;;
  *) echo "usage: $0 arm64|armhf [--no-tests] [--no-package]" >&2; exit 2 ;;
esac
shift
tests=1
package=1
for option in "$@"; do
  case "$option" in
    --no-tests) tests=0 ;;
    --no-package) package=0 ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
  esac
done

# Native tools (cmake, ppdc, cups-config, dpkg-shlibdeps, what the tests run),
# then the cross compilers, the target's libraries and qemu-user.
bash scripts/install-deps.sh
packages=(crossbuild-essential-"$arch" qemu-user dpkg-dev
          libcups2-dev:"$arch" libcupsimage2-dev:"$arch" libgtest-dev:"$arch" libpng-dev:"$arch")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
  fi
  echo "Installing: ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
  apt=($sudo apt-get -o DPkg::Lock::Timeout=600 -y -qq)
  "${apt[@]}" update
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" install --no-install-recommends "${missing[@]}" >/dev/null
fi

build=build-$arch
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DKORDANE_TESTS=ON -DKORDANE_BENCH=OFF -DKORDANE_SANITIZE=OFF -DKORDANE_FUZZ=OFF >/dev/null
start=$SECONDS
cmake --build "$build" -j"$jobs"
echo "$arch build: $((SECONDS - start)) s"

if [ $tests -eq 1 ]; then
  # ctest starts every test program through qemu-$triplet's emulator (the
  # toolchain file's CMAKE_CROSSCOMPILING_EMULATOR).
  echo "Tests under qemu-user ($triplet):"
  start=$SECONDS
  (cd "$build" && ctest --output-on-failure -j"$jobs" -E '^Cups')
  echo "$arch tests: $((SECONDS - start)) s"
fi

if [ $package -eq 1 ]; then
  (cd "$build" && cpack -G DEB >/dev/null)
  deb=$(ls "$build"/printer-driver-kordane_*_"$arch".deb)
  echo "Package: $deb"
  dpkg-deb -f "$deb" Package Version Architecture Depends
fi
