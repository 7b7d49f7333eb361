#!/usr/bin/env bash
# End-to-end benchmark: builds the filter, a floor program that only reads the
# raster pages and writes their pixels back out, and the benchmark driver in
# build-bench (Release), then times the filter's paths against the floor on
# receipt-like jobs written through libcupsimage, counts instructions per page
# under callgrind and checks memory and system calls on a 1000-page job.
# Not run by CI. Arguments go to the driver, e.g. --runs 21, --no-instructions.
# Wall times are noisy on a busy machine: check `uptime` first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# The benchmark's own tools: valgrind for the instruction counts.
if ! command -v valgrind >/dev/null; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends valgrind >/dev/null
fi

jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKORDANE_BENCH=ON >/dev/null
cmake --build build-bench -j"$jobs" --target rastertoKordane raster_floor bench_e2e >/dev/null

echo "load: $(uptime)"
exec build-bench/bench_e2e --filter build-bench/rastertoKordane --floor build-bench/raster_floor "$@"
