#!/usr/bin/env bash
# Fuzzes one harness for a number of seconds with AddressSanitizer and
# UndefinedBehaviorSanitizer: fuzz/run.sh HARNESS SECONDS [libFuzzer options...]
# HARNESS: volscan_ntfs volscan_fat partitions rawscan_ntfs rawscan_fat32.
# Builds build-fuzz with clang when needed (TOBRIN_FUZZ_BUILD names another folder).
# Inputs found stay in BUILD/fuzz-corpus/HARNESS; a failing input is written to
# BUILD/fuzz-artifacts/HARNESS/ and belongs, once fixed, in fuzz/regressions/HARNESS/.
set -euo pipefail
if [[ $# -lt 2 ]]; then
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
harness=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOBRIN_FUZZ_BUILD:-$root/build-fuzz}
fuzzer=$build/bin/${harness}_fuzzer

if [[ ! -f $build/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTOBRIN_FUZZ=ON -DTOBRIN_GUI=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# Runs side by side (fuzz/ci.sh) take turns at the build.
flock "$build/.build.lock" ninja -C "$build" -j2 "${harness}_fuzzer" >/dev/null

work=$build/fuzz-corpus/$harness
artifacts=$build/fuzz-artifacts/$harness
mkdir -p "$work" "$artifacts"
seeds=("$root/fuzz/corpus/$harness")
[[ -d $root/fuzz/regressions/$harness ]] && seeds+=("$root/fuzz/regressions/$harness")

# A hang (over 10 s for one input), more than 2 GiB resident or any single allocation
# over 512 MiB (inputs are below 1 MiB) counts as a failure.
exec "$fuzzer" "$work" "${seeds[@]}" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"
