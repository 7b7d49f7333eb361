#!/usr/bin/env bash
# Installs what building and testing the filter needs on Debian 12.
set -euo pipefail

packages=(cmake g++ make libcups2-dev libcupsimage2-dev googletest libgtest-dev libbenchmark-dev)
# PPDs: ppdc compiles them, cupstestppd checks them, a private cupsd lists
# them with lpinfo -m.
packages+=(cups-ppdc cups-client cups-daemon)
# The real CUPS chain for the sample job and the end-to-end test (cupsfilter, a private
# scheduler, lpadmin/lp, the PDF/image/text filters, Ghostscript, a monospace
# font for text jobs) and libpng for the print preview.
packages+=(cups cups-daemon cups-client cups-filters ghostscript fonts-dejavu-core libpng-dev)
# The printer application: libpappl (with libjpeg for the test's JPEG page),
# found through pkg-config; ipptool from cups-ipp-utils talks IPP to it.
packages+=(libpappl-dev libjpeg-dev pkg-config cups-ipp-utils)
# Long fuzzing runs (not part of the tests) also need clang and its
# sanitizer runtimes: scripts/install-deps.sh --fuzz.
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "Installing with apt-get (a minute or two): ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
