#!/usr/bin/env bash
# Installs the desktop component of a build into a scratch prefix and checks what a
# desktop needs: a valid entry that starts halvex, and its icon at every usual size.
#   DesktopEntryTest.sh <build folder>
set -euo pipefail
build=$1
scratch=${HALVEX_TEST_TMP:?run through run-isolated.sh}
prefix="$scratch/prefix"

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" --component desktop >/dev/null
entry="$prefix/share/applications/halvex.desktop"
[ -f "$entry" ] || fail "no desktop entry at $entry"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
grep -qx 'Exec=halvex' "$entry" || fail "the entry does not start halvex"
grep -qx 'Icon=halvex' "$entry" || fail "the entry does not name the halvex icon"
for size in 16 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/halvex.png"
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
done
echo "desktop entry and icons OK"
