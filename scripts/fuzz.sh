#!/usr/bin/env bash
# Runs each fuzz target for a bounded time on its saved corpus.
#   scripts/fuzz.sh BUILD_DIR [SECONDS] [TARGET...]
# BUILD_DIR is a tree configured with -DKORDANE_FUZZ=ON and clang++. New
# inputs found go to a scratch directory, not into the saved corpus; a crash
# leaves its input in BUILD_DIR/fuzz/findings/ and fails the run.
set -euo pipefail
here="$(cd "$(dirname "$0")/../fuzz" && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-30}"
shift $(( $# >= 2 ? 2 : 1 ))
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(filter transforms)

findings="$build/fuzz/findings"
mkdir -p "$findings"
# Whatever the sanitizers write beside their reports stays with the build.
cd "$build/fuzz"
for t in "${targets[@]}"; do
  scratch="$(mktemp -d)"
  dict=()
  [ -f "$here/$t.dict" ] && dict=(-dict="$here/$t.dict")
  echo "== fuzz_$t: ${seconds}s"
  # -close_fd_mask=3: the filter's job log would drown the fuzzer's own;
  # sanitizer reports still go to the fuzzer's output. Allocations over
  # 32 MiB fail (and the filter must cope): the inputs are at most 20 kB and
  # their pages decode to at most 8 MiB, so only absurd header sizes ask for
  # more, and serving those would spend the run mapping and shadowing memory.
  log="$build/fuzz/fuzz_$t.log"
  status=0
  LSAN_OPTIONS="suppressions=$here/lsan.supp" ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=32 \
  "$build/fuzz/fuzz_$t" "$scratch" "$here/corpus/$t" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=20480 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/$t-" >"$log" 2>&1 || status=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  rm -rf "$scratch"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz_$t failed (status $status); inputs in $findings" >&2
    exit 1
  fi
done
