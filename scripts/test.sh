#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  extra=(-DHALVEX_SANITIZE=ON)
fi

bash scripts/install-deps.sh --test
cmake -S . -B "$build" -G Ninja -DBUILD_TESTING=ON "${extra[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
