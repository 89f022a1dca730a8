#!/usr/bin/env bash
# Installs what is needed, builds everything, and runs every test twice: in the
# ordinary build and under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

# Fuzzing: every harness built with clang, libFuzzer and both sanitizers; the seeds and
# every input that ever failed replayed, then each harness fuzzed for a minute.
bash fuzz/ci.sh 60

# The sanitizer build shares the fixture images of the ordinary one.
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOBRIN_SANITIZE=ON \
  -DTOBRIN_FIXTURE_DIR="$PWD/build/fixtures"
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize -j "$jobs" --output-on-failure
