#!/usr/bin/env bash
# The CI fuzz step: builds every harness with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, replays the seeds and every input that ever failed,
# then fuzzes each harness for SECONDS (default 25). Any failure fails the step.
set -euo pipefail
seconds=${1:-25}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOBRIN_FUZZ_BUILD:-$root/build-fuzz}
harnesses=(volscan_ntfs volscan_fat partitions rawscan_ntfs rawscan_fat32)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTOBRIN_FUZZ=ON -DTOBRIN_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j "$(nproc)" fuzzers

for harness in "${harnesses[@]}"; do
  echo "== $harness: replaying the seeds and regression inputs"
  ctest --test-dir "$build" -R "^fuzz_replay_${harness}\$" --output-on-failure
  echo "== $harness: fuzzing for $seconds s"
  log=$build/fuzz-$harness.log
  if ! TOBRIN_FUZZ_BUILD=$build "$root/fuzz/run.sh" "$harness" "$seconds" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz/ci.sh: $harness failed; the input is in $build/fuzz-artifacts/$harness/" >&2
    exit 1
  fi
  tail -n 2 "$log"
done
