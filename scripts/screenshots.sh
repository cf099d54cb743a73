#!/usr/bin/env bash
# Writes PNGs of the dialogs into build/screenshots/ for review: the main dialog at its
# defaults and with every feature in use, a validation message box, the progress window
# mid-build and the about box, headless through Qt's offscreen platform on a 1920 x 1080
# screen, at 100% and (in build/screenshots/200/) at 200%; then the real program's main
# dialog in a real X window under Xvfb at 1920 x 1080, at 100% (main-dialog-xvfb.png) and at
# 200% (main-dialog-xvfb-200.png, where the dialog no longer fits and scrolls).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --test
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target halvex-screenshots halvex halvex-grab-window
shots="$PWD/build/screenshots"
mkdir -p "$shots/200"
screen="offscreen:configfile=$PWD/tests/ui/screen-1920x1080.json"
QT_QPA_PLATFORM=$screen build/tests/halvex-screenshots "$shots"
QT_QPA_PLATFORM=$screen QT_SCALE_FACTOR=2 build/tests/halvex-screenshots "$shots/200"
HALVEX_SCREENSHOTS="$shots" HALVEX_XVFB_SCREEN=1920x1080x24 tests/run-isolated.sh \
  tests/ui/XvfbSmokeTest.sh build/halvex build/tests/halvex-grab-window
HALVEX_SCREENSHOTS="$shots" HALVEX_XVFB_SCREEN=1920x1080x24 QT_SCALE_FACTOR=2 tests/run-isolated.sh \
  tests/ui/XvfbSmokeTest.sh build/halvex build/tests/halvex-grab-window
ls "$shots" "$shots/200"
