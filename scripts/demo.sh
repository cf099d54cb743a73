#!/usr/bin/env bash
# Installs, builds and shows what the program can do so far.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

echo
echo "Built: $(ls build | grep -E '^halvex' | tr '\n' ' ')"
echo
echo "Obscuring a password read from standard input (the -opwd token):"
echo "  \$ printf 'secret\\n' | build/halvex-obscure"
printf 'secret\n' | build/halvex-obscure | sed 's/^/  /'
echo
echo "Not built yet: the command-line front end, the packaging engine and the dialogs."
