#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz/, apart from the main build, and runs each for the given seconds (default 60)
# from its committed seed corpus in tests/fuzz/corpus/<target>/. New inputs go to
# build-fuzz/corpus/<target>/; a crash is written to build-fuzz/ and fails the script.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
bash scripts/install-deps.sh --test
cmake -S tests/fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
nice -n 10 cmake --build build-fuzz

# The log has nowhere to go: its lines are still composed, but not written to disk.
export ProgramData=/dev/null/no-log
for target in ArgumentsFuzzer UrlFuzzer TokenFuzzer PackageTextFuzzer; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target, $seconds s"
  nice -n 10 "build-fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build-fuzz/$target-" "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target"
done
