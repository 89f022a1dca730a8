#!/usr/bin/env bash
# The CI fuzz step: builds every harness with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, replays the seeds and every input that ever failed,
# then fuzzes each harness for SECONDS (default 60), one per core at a time. Any
# failure fails the step.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOBRIN_FUZZ_BUILD:-$root/build-fuzz}
harnesses=(volscan_ntfs volscan_fat partitions rawscan_ntfs rawscan_fat32)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTOBRIN_FUZZ=ON -DTOBRIN_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j "$(nproc)" fuzzers

for harness in "${harnesses[@]}"; do
  echo "== $harness: replaying the seeds and regression inputs"
  ctest --test-dir "$build" -R "^fuzz_replay_${harness}\$" --output-on-failure
done

# Fuzzes one harness; on failure prints its log and where the failing input is.
fuzz_harness() {
  local harness=$1 log=$build/fuzz-$1.log
  if ! TOBRIN_FUZZ_BUILD=$build "$root/fuzz/run.sh" "$harness" "$seconds" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz/ci.sh: $harness failed; the input is in $build/fuzz-artifacts/$harness/" >&2
    return 1
  fi
  echo "== $harness: fuzzed for $seconds s"
  tail -n 2 "$log"
}

# One harness per core at a time.
jobs=$(nproc)
running=0
failed=0
for harness in "${harnesses[@]}"; do
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_harness "$harness" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
