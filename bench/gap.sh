#!/usr/bin/env bash
# Measures the longest time the main dialog's event loop stands still while it builds a
# package from a CID holding one large file: runs the gap probe (a real main dialog on
# the offscreen platform) and prints its figures.
#
#   bench/gap.sh [SIZE_MB] [TEMP_BASE]     defaults: 1024 MB, a folder beside the CID
#
# A TEMP_BASE on another file system than the CID (say /dev/shm) makes the work folder
# take copies instead of links, so the copy itself is measured too.
#
# Needs a built tree (scripts/test.sh or cmake --build build); writes labelled stand-ins for
# the installer module and the configuration tool into build/ when the real ones are absent.
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${1:-1024}
temp_base=${2:-}
build=$PWD/build
probe=$build/tests/halvex-event-loop-gap-probe
[ -x "$probe" ] || { echo "$probe is missing: build first" >&2; exit 1; }

[ -f "$build/7za/7zSD.sfx" ] || printf 'BENCHMARK STAND-IN FOR THE 7-ZIP INSTALLER MODULE 7zSD.sfx\r\n' > "$build/7za/7zSD.sfx"
[ -f "$build/ConfigUpdate.exe" ] || printf 'BENCHMARK STAND-IN FOR ConfigUpdate.exe\r\n' > "$build/ConfigUpdate.exe"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/halvex-gap.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cid=$scratch/srv/NORDAVIN

temp=$scratch/temp
if [ -n "$temp_base" ]; then
  temp=$(mktemp -d "$temp_base/halvex-gap-temp.XXXXXX")
  trap 'rm -rf "$scratch" "$temp"' EXIT
fi
mkdir -p "$temp"
echo "Work folder base: $temp ($(stat -f -c %T "$temp"))"
echo "Making a CID with one file of ${size_mb} MB of random bytes..."
mkdir -p "$scratch/out" "$scratch/temp" "$scratch/appdata" "$scratch/config"
# The folders of the default components, as bench/run.sh lays them out; the one large file in the first.
for folder in lorv bexu dimbel torqel ynda ynda64; do
  mkdir -p "$cid/$folder"
  echo "$folder" > "$cid/$folder/readme.txt"
done
echo marker > "$cid/cidsync.upd"
echo setup > "$cid/setup.exe"
head -c $(( size_mb * 1024 * 1024 )) /dev/urandom > "$cid/lorv/payload.bin"
sync

# Its own log, work folder and remembered choices, never the machine's or the user's.
QT_QPA_PLATFORM=offscreen TEMP=$temp ProgramData=$scratch/appdata XDG_CONFIG_HOME=$scratch/config \
  "$probe" "$cid" "$scratch/out/halvex.exe" "$build"
