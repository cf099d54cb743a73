#!/usr/bin/env bash
# Writes PNGs of the dialogs into build/screenshots/ for review: the main dialog at its
# defaults and with every feature in use, a validation message box, the progress window
# mid-build and the about box, headless through Qt's offscreen platform; then the real
# program's main dialog in a real X window under Xvfb (main-dialog-xvfb.png).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target halvex-screenshots halvex halvex-grab-window
mkdir -p build/screenshots
QT_QPA_PLATFORM=offscreen build/tests/halvex-screenshots build/screenshots
HALVEX_SCREENSHOTS="$PWD/build/screenshots" tests/run-isolated.sh \
  tests/ui/XvfbSmokeTest.sh build/halvex build/tests/halvex-grab-window
ls build/screenshots
