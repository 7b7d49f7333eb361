#!/usr/bin/env bash
# Builds everything and runs every test: once as built for use, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then each fuzz target for a
# short bounded time on its saved corpus; then the arm64 and armhf cross
# builds, their tests under qemu-user.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORDANE_TESTS=ON -DKORDANE_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKORDANE_SANITIZE=ON -DKORDANE_TESTS=ON -DKORDANE_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

# Fuzzing: each libFuzzer target for a bounded time on its saved corpus.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORDANE_FUZZ=ON \
  -DKORDANE_TESTS=OFF -DKORDANE_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
bash fuzz/run.sh build-fuzz "${KORDANE_FUZZ_SECONDS:-30}"

# --- Raspberry Pi builds ---
# The arm64 and armhf cross builds (Release, no sanitizers) with their test
# suites under qemu-user and their Debian packages; scripts/cross-build.sh
# installs what they need. The tests that need a CUPS scheduler running the
# filter (names starting with "Cups") ran natively above.
for arch in arm64 armhf; do
  bash scripts/cross-build.sh "$arch"
done
# --- End of Raspberry Pi builds ---
