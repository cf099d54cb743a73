#!/usr/bin/env bash
# Times `halvex -cli` on a synthetic CID against the same work done by hand in the same
# run: `cp -r` of the same selection, the same 7-Zip command line, `cat` for the join.
# Prints both times, their ratio, and halvex's own peak memory (the archiver's excluded).
#
#   bench/run.sh [SIZE_MB] [FILES] [RUNS]     defaults: 300 MB in 1200 files, 1 run
#
# With several runs the two are timed alternately and the best time of each is kept,
# which evens out a busy machine.
# Half the bytes are compressible text, half random. Needs a built tree (scripts/test.sh
# or cmake --build build); writes labelled stand-ins for the installer module and the
# configuration tool into build/ when the real ones are absent.
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${1:-300}
files=${2:-1200}
runs=${3:-1}
build=$PWD/build
[ -x "$build/halvex" ] || { echo "build/halvex is missing: build first" >&2; exit 1; }

[ -f "$build/7za/7zSD.sfx" ] || printf 'BENCHMARK STAND-IN FOR THE 7-ZIP INSTALLER MODULE 7zSD.sfx\r\n' > "$build/7za/7zSD.sfx"
[ -f "$build/ConfigUpdate.exe" ] || printf 'BENCHMARK STAND-IN FOR ConfigUpdate.exe\r\n' > "$build/ConfigUpdate.exe"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/halvex-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cid=$scratch/srv/NORDAVIN
folders=(lorv bexu dimbel torqel ynda ynda64)

echo "Making a synthetic CID of ${size_mb} MB in ${files} files..."
mkdir -p "$cid"
echo marker > "$cid/cidsync.upd"
echo setup > "$cid/setup.exe"
per_file_kb=$(( size_mb * 1024 / files ))
seq -f 'line %g of a compressible sample text for the halvex benchmark' 1 20000 > "$scratch/text"
for ((i = 0; i < files; i++)); do
  folder=$cid/${folders[i % ${#folders[@]}]}/sub$((i % 7))
  mkdir -p "$folder"
  if (( i % 2 == 0 )); then
    # Compressible: the sample text repeated up to the file size.
    head -c $(( per_file_kb * 1024 )) < <(yes "$(head -c 4000 "$scratch/text")") > "$folder/f$i.txt"
  else
    head -c $(( per_file_kb * 1024 )) /dev/urandom > "$folder/f$i.bin"
  fi
done
du -sh "$cid" | sed 's/^/CID size: /'
# Neither side should pay for writing the CID back to disk.
sync

seconds() { date +%s.%N; }

best() { if [ -z "$1" ] || (( $(echo "$2 < $1" | bc) )); then echo "$2"; else echo "$1"; fi; }

# halvex, its own peak resident memory sampled from /proc while it runs (the archiver is
# a separate process and not counted).
run_halvex() {
  local out=$scratch/out start pid hwm rc
  rm -rf "$out" && mkdir -p "$out" "$scratch/temp"
  start=$(seconds)
  TEMP=$scratch/temp ProgramData=$scratch/appdata "$build/halvex" -cli -cidpath "$cid" -sfxpath "$out/halvex.exe" \
    > "$scratch/halvex.out" &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$hwm" ] && (( hwm > peak_kb )) && peak_kb=$hwm
    sleep 0.05
  done
  wait "$pid" && rc=0 || rc=$?
  [ "$rc" -eq 0 ] || { echo "halvex failed with exit code $rc:"; cat "$scratch/halvex.out"; exit 1; }
  halvex_time=$(best "$halvex_time" "$(echo "$(seconds) - $start" | bc)")
}

# The same work by hand.
run_reference() {
  local ref=$scratch/ref start
  rm -rf "$ref" && mkdir -p "$ref/out"
  start=$(seconds)
  mkdir -p "$ref/work/NORDAVIN"
  for f in "${folders[@]}"; do cp -r "$cid/$f" "$ref/work/NORDAVIN/"; done
  cp "$cid/cidsync.upd" "$cid/setup.exe" "$ref/work/NORDAVIN/"
  cp "$build/ConfigUpdate.exe" "$ref/work/"
  7za a "$ref/out/halvex_archive.7z" "$ref/work/*" -r -mx5 -mmt -ms=e256m > /dev/null
  printf ';!@Install@!UTF-8!\r\nInstallPath="%%temp%%\\halvex_temp"\r\nExecuteFile="setup.vbs"\r\nProgress="No"\r\n;!@InstallEnd@!' \
    > "$ref/work/halvex_setup.txt"
  cat "$build/7za/7zSD.sfx" "$ref/work/halvex_setup.txt" "$ref/out/halvex_archive.7z" > "$ref/out/ref.exe"
  rm -f "$ref/out/halvex_archive.7z"
  rm -rf "$ref/work"
  reference_time=$(best "$reference_time" "$(echo "$(seconds) - $start" | bc)")
}

halvex_time= reference_time= peak_kb=0
for ((run = 1; run <= runs; run++)); do
  run_halvex
  run_reference
done

printf 'halvex -cli:       %8.2f s\n' "$halvex_time"
printf 'by hand:           %8.2f s\n' "$reference_time"
printf 'ratio:             %8.3f\n' "$(echo "$halvex_time / $reference_time" | bc -l)"
printf 'halvex peak RSS:   %8.1f MB (archiver excluded)\n' "$(echo "$peak_kb / 1024" | bc -l)"
printf 'package sizes:     halvex %s bytes, by hand %s bytes\n' "$(stat -c %s "$scratch/out/halvex.exe")" \
  "$(stat -c %s "$scratch/ref/out/ref.exe")"
