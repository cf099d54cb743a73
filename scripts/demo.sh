#!/usr/bin/env bash
# Installs, builds and shows what the program can do so far.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

echo
echo "Built: $(ls build | grep -E '^halvex' | tr '\n' ' ')"
echo "Not built yet: the command-line front end, the packaging engine and the dialogs."
