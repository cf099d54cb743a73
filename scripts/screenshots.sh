#!/usr/bin/env bash
# Writes PNGs of the dialogs into build/screenshots/ for review: the main dialog at its
# defaults and with every feature in use, a validation message box, the progress window
# mid-build and the about box. Runs headless through Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target halvex-screenshots
mkdir -p build/screenshots
QT_QPA_PLATFORM=offscreen build/tests/halvex-screenshots build/screenshots
