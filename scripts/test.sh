#!/usr/bin/env bash
# Builds everything and runs every test twice: as built for use (the vector
# code paths where the processor has them), and under AddressSanitizer and
# UndefinedBehaviorSanitizer on the plain code paths that processors without
# vector instructions run. Both runs replay the fuzz targets' corpora; long
# fuzzing is scripts/fuzz.sh (see the README). Then the arm64 and armhf cross
# builds, their tests under qemu-user.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORDANE_TESTS=ON -DKORDANE_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

# The scheduler tests (Cups*) run the same filter through CUPS; once is enough.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKORDANE_SANITIZE=ON -DKORDANE_TESTS=ON -DKORDANE_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && KORDANE_PORTABLE=1 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -E '^Cups')
echo "== native and sanitizer runs: ${SECONDS} s"

# --- Raspberry Pi builds ---
# The arm64 and armhf cross builds (Release, no sanitizers) with their test
# suites under qemu-user and their Debian packages; scripts/cross-build.sh
# installs what they need. The tests that need a CUPS scheduler running the
# filter (names starting with "Cups") ran natively above.
for arch in arm64 armhf; do
  bash scripts/cross-build.sh "$arch"
done
echo "== all runs: ${SECONDS} s"
# --- End of Raspberry Pi builds ---
