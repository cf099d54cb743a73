#!/usr/bin/env bash
# Times `halvex -cli` on a synthetic CID against two references, in the same run and in
# the same places:
#   by hand:       the same work by hand: `cp -r` of the same selection into a work folder
#                  where halvex puts its own, the same 7-Zip command line, `cat` for the
#                  join, `rm`;
#   7-Zip alone:   the job's floor: the archiver's line as halvex runs it (installer head
#                  in front, `-sfx`) on a work folder prepared once beforehand;
#   cp -al + rm:   (--shapes only) hard links to the same selection and their removal: what
#                  placing the files in a work folder costs at the least.
#
#   bench/run.sh [SIZE_MB] [FILES] [RUNS]        defaults: 300 MB in 1200 files, 5 runs
#   bench/run.sh --rss-only [SIZE_MB] [FILES]    one halvex run, default 2048 MB in 1200 files
#   bench/run.sh --shapes [RUNS]                 the three shapes against 7-Zip alone, 5 runs
#
# Two configurations, each with RUNS runs of every side, alternating:
#   same fs:   the work folder (TEMP) on the CID's file system;
#   other fs:  the work folder on another file system: a tmpfs mounted for the run when
#              root may mount one, else /dev/shm (the output says which).
# For each it prints the median, minimum and maximum time of each side, the ratio of the
# medians, halvex's own peak resident memory (VmHWM; the archiver is a process of its own
# and not counted) and the peak disk space used in the output folder while halvex ran
# (sampled every 50 ms, so it may fall a little short of the true peak) beside the final
# package's size. Both sides are sampled the same way while they run, so the sampling
# costs them alike. --rss-only skips the timing: one halvex run with the work
# folder on the CID's file system, for sizes where the figures are memory and disk.
# --shapes times halvex against 7-Zip alone and cp -al + rm only, with the work folder on the CID's file
# system, on three CIDs one after another: 300 MB in 1,200 files, 200 MB in 20,000 and
# 50 MB in 100,000; RUNS pairs each, alternating, and one table row per CID with the load
# average when its runs ended.
#
# Half the bytes are compressible text, half random. Needs a built tree (scripts/test.sh
# or cmake --build build); writes labelled stand-ins for the installer module and the
# configuration tool into build/ when the real ones are absent.
set -euo pipefail
cd "$(dirname "$0")/.."

rss_only=false shapes=false
if [ "${1:-}" = "--rss-only" ]; then
  rss_only=true
  shift
  size_mb=${1:-2048}
  files=${2:-1200}
  runs=1
elif [ "${1:-}" = "--shapes" ]; then
  shapes=true
  size_mb=1 files=1 runs=${2:-5}
else
  size_mb=${1:-300}
  files=${2:-1200}
  runs=${3:-5}
fi
[[ $size_mb =~ ^[1-9][0-9]*$ && $files =~ ^[1-9][0-9]*$ && $runs =~ ^[1-9][0-9]*$ ]] || {
  echo "usage: bench/run.sh [SIZE_MB] [FILES] [RUNS] | bench/run.sh --rss-only [SIZE_MB] [FILES] | bench/run.sh --shapes [RUNS]" >&2
  exit 2
}
build=$PWD/build
[ -x "$build/halvex" ] || { echo "build/halvex is missing: build first" >&2; exit 1; }
archiver=$build/7za/7za
[ -x "$archiver" ] || { echo "build/7za/7za is missing: build first" >&2; exit 1; }

[ -f "$build/7za/7zSD.sfx" ] || printf 'BENCHMARK STAND-IN FOR THE 7-ZIP INSTALLER MODULE 7zSD.sfx\r\n' > "$build/7za/7zSD.sfx"
[ -f "$build/ConfigUpdate.exe" ] || printf 'BENCHMARK STAND-IN FOR ConfigUpdate.exe\r\n' > "$build/ConfigUpdate.exe"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/halvex-bench.XXXXXX")
mounted=
cleanup() {
  if [ -n "$mounted" ]; then umount "$mounted" && rmdir "$mounted"; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
cid=$scratch/srv/NORDAVIN
out=$scratch/out
folders=(lorv bexu dimbel torqel ynda ynda64)

# Makes the synthetic CID of $size_mb MB in $files files at $cid, and its size in cid_bytes.
make_cid() {
  echo "Making a synthetic CID of ${size_mb} MB in ${files} files..."
  rm -rf "$cid"
  mkdir -p "$cid"
  echo marker > "$cid/cidsync.upd"
  echo setup > "$cid/setup.exe"
  # In bytes: 50 MB in 100,000 files is half a kilobyte a file.
  local per_file=$(( size_mb * 1048576 / files ))
  # One process writes every file: a process per file would cost more than the files at
  # 100,000 of them.
  python3 - "$cid" "$files" "$per_file" "${folders[@]}" <<'PY'
import os, sys
cid, files, size, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
text = "".join(f"line {n} of a compressible sample text for the halvex benchmark\n" for n in range(1, 20001))
line = (text[:4000] + "\n").encode()
compressible = (line * (size // len(line) + 1))[:size]
for i in range(files):
    folder = os.path.join(cid, folders[i % len(folders)], f"sub{i % 7}")
    os.makedirs(folder, exist_ok=True)
    if i % 2 == 0:
        # Compressible: the sample text repeated up to the file size.
        data, name = compressible, f"f{i}.txt"
    else:
        data, name = os.urandom(size), f"f{i}.bin"
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)
PY
  cid_bytes=$(du -sb "$cid" | cut -f1)
  # Neither side should pay for writing the CID back to disk.
  sync
}

seconds() { date +%s.%N; }
megabytes() { echo "scale=1; $1 / 1048576" | bc; }

# Runs "$@" in the background, its output into $scratch/run.out, and samples it every 50 ms
# until it ends: the process's own peak resident memory into peak_rss_kb (a program run
# through env is that program), the disk space the output folder uses into
# peak_disk_bytes. Its time goes into elapsed. One sampler process serves the whole run:
# starting processes to sample (du, awk, sleep) twenty times a second slowed halvex's
# file-by-file work by a second or more at 100,000 files, far more than 7-Zip's.
sampled() {
  local start pid sampler rc
  start=$(seconds)
  "$@" > "$scratch/run.out" 2>&1 &
  pid=$!
  python3 - "$pid" "$out" > "$scratch/samples" <<'PY' &
import os, sys, time
pid, out = sys.argv[1], sys.argv[2]

def used(folder):
    """The disk space below folder, itself included, as du -s counts it."""
    total = 0
    try:
        total = os.lstat(folder).st_blocks * 512
    except OSError:
        return 0
    for root, folders, files in os.walk(folder):
        for name in folders + files:
            try:
                total += os.lstat(os.path.join(root, name)).st_blocks * 512
            except OSError:
                pass
    return total

peak_rss = peak_disk = 0
while True:
    try:
        with open(f"/proc/{pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status if ":" in line)
    except OSError:
        break
    if fields.get("State", "").strip().startswith("Z"):
        break
    if "VmHWM" in fields:
        peak_rss = max(peak_rss, int(fields["VmHWM"].split()[0]))
    peak_disk = max(peak_disk, used(out))
    time.sleep(0.05)
print(peak_rss, peak_disk)
PY
  sampler=$!
  wait "$pid" && rc=0 || rc=$?
  elapsed=$(echo "$(seconds) - $start" | bc)
  wait "$sampler"
  read -r peak_rss_kb peak_disk_bytes < "$scratch/samples"
  return "$rc"
}

# The same work by hand, in the same work folder and the same output folder.
by_hand_run() {
  local work=$temp/Halvex
  mkdir -p "$work/NORDAVIN"
  for f in "${folders[@]}"; do cp -r "$cid/$f" "$work/NORDAVIN/"; done
  cp "$cid/cidsync.upd" "$cid/setup.exe" "$work/NORDAVIN/"
  cp "$build/ConfigUpdate.exe" "$work/"
  "$archiver" a "$out/halvex_archive.7z" "$work/*" -r -mx5 -mmt -ms=e256m > /dev/null
  printf ';!@Install@!UTF-8!\r\nInstallPath="%%temp%%\\halvex_temp"\r\nExecuteFile="setup.vbs"\r\nProgress="No"\r\n;!@InstallEnd@!' \
    > "$work/halvex_setup.txt"
  cat "$build/7za/7zSD.sfx" "$work/halvex_setup.txt" "$out/halvex_archive.7z" > "$out/by-hand.exe"
  rm -f "$out/halvex_archive.7z"
  rm -rf "$work"
}

# The work folder 7-Zip alone packs, made once per configuration as halvex makes its own,
# and the installer head (module and configuration) it puts in front.
prepare_alone() {
  prepared=$temp/prepared
  rm -rf "$prepared" && mkdir -p "$prepared/NORDAVIN"
  for f in "${folders[@]}"; do cp -r "$cid/$f" "$prepared/NORDAVIN/"; done
  cp "$cid/cidsync.upd" "$cid/setup.exe" "$prepared/NORDAVIN/"
  cp "$build/ConfigUpdate.exe" "$prepared/"
  printf 'Set wshShell = WScript.CreateObject("WScript.Shell")\r\n' > "$prepared/setup.vbs"
  head=$temp/installer-head
  { cat "$build/7za/7zSD.sfx"
    printf ';!@Install@!UTF-8!\r\nInstallPath="%%temp%%\\halvex_temp"\r\nExecuteFile="setup.vbs"\r\nProgress="No"\r\n;!@InstallEnd@!'
  } > "$head"
  sync
}

# The least any run that places the CID's files in a work folder can add: hard links to
# the same selection (cp -al) and their removal (rm -rf), nothing else.
links_run() {
  local work=$temp/links
  mkdir -p "$work/NORDAVIN"
  for f in "${folders[@]}"; do cp -al "$cid/$f" "$work/NORDAVIN/"; done
  cp -al "$cid/cidsync.upd" "$cid/setup.exe" "$work/NORDAVIN/"
  rm -rf "$work"
}

time_links() {
  fresh_output
  sampled links_run
  links_times+=("$elapsed")
}

time_alone() {
  fresh_output
  sampled "$archiver" a "$out/alone.exe" "$prepared/*" -r -mx5 -mmt -ms=e256m -mtc=off -mta=off "-sfx$head" -bsp1
  alone_times+=("$elapsed")
}

fresh_output() { rm -rf "$out" "$temp/Halvex" && mkdir -p "$out" "$temp"; }

time_halvex() {
  fresh_output
  # halvex's work folder is $temp/Halvex.
  sampled env TEMP="$temp" ProgramData="$scratch/appdata" "$build/halvex" -cli -cidpath "$cid" -sfxpath "$out/halvex.exe" ||
    { echo "halvex failed:"; cat "$scratch/run.out"; exit 1; }
  halvex_times+=("$elapsed")
  (( peak_rss_kb > halvex_rss_kb )) && halvex_rss_kb=$peak_rss_kb
  (( peak_disk_bytes > halvex_disk_bytes )) && halvex_disk_bytes=$peak_disk_bytes
  package_bytes=$(stat -c %s "$out/halvex.exe")
}

time_by_hand() {
  fresh_output
  sampled by_hand_run
  by_hand_times+=("$elapsed")
  by_hand_bytes=$(stat -c %s "$out/by-hand.exe")
}

# median, minimum and maximum of the arguments
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
minimum() { printf '%s\n' "$@" | sort -g | head -1; }
maximum() { printf '%s\n' "$@" | sort -g | tail -1; }

# The file system type of a folder and where it is mounted, e.g. "ext4 at /".
filesystem() { df --output=fstype,target "$1" | awk 'END { print $1 " at " $2 }'; }

if $shapes; then
  temp=$scratch/temp
  rows=()
  for shape in "300 1200" "200 20000" "50 100000"; do
    read -r size_mb files <<< "$shape"
    make_cid
    halvex_times=() alone_times=() links_times=() halvex_rss_kb=0 halvex_disk_bytes=0
    prepare_alone
    for ((run = 1; run <= runs; run++)); do
      echo "  ${size_mb} MB in ${files} files: pair $run of $runs"
      time_halvex
      time_alone
      time_links
    done
    halvex_median=$(median "${halvex_times[@]}")
    alone_median=$(median "${alone_times[@]}")
    links_median=$(median "${links_times[@]}")
    rows+=("$(printf '| %s MB in %s files | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.3f | %.2f | %.3f | %s MB | %s MB | %s MB | %.3f | %s |' \
      "$(megabytes "$cid_bytes")" "$files" \
      "$halvex_median" "$(minimum "${halvex_times[@]}")" "$(maximum "${halvex_times[@]}")" \
      "$alone_median" "$(minimum "${alone_times[@]}")" "$(maximum "${alone_times[@]}")" \
      "$(echo "$halvex_median / $alone_median" | bc -l)" "$links_median" \
      "$(echo "($alone_median + $links_median) / $alone_median" | bc -l)" "$(echo "scale=1; $halvex_rss_kb / 1024" | bc)" \
      "$(megabytes "$halvex_disk_bytes")" "$(megabytes "$package_bytes")" \
      "$(echo "$halvex_disk_bytes / $package_bytes" | bc -l)" "$(cut -d' ' -f1-3 /proc/loadavg)")")
    rm -rf "$temp" "$cid"
  done
  echo
  echo "halvex -cli against 7-Zip alone, work folder on the CID's file system ($(filesystem "$scratch")), median (min-max) of $runs alternating pairs each:"
  echo "(cp -al + rm -rf: linking the same selection into a work folder and removing it, the floor of any run that places the files; floor ratio: 7-Zip alone and that, over 7-Zip alone)"
  echo '| CID | halvex s | 7-Zip alone s | ratio | cp -al + rm -rf s | floor ratio | halvex peak RSS | peak output-folder disk (sampled) | package | disk / package | load average at the end |'
  echo '|---|---|---|---|---|---|---|---|---|---|---|'
  printf '%s\n' "${rows[@]}"
  exit 0
fi

make_cid
if $rss_only; then
  temp=$scratch/temp
  halvex_times=() halvex_rss_kb=0 halvex_disk_bytes=0
  time_halvex
  printf '| CID | work folder | halvex time | halvex peak RSS | peak output-folder disk (sampled) | package |\n'
  printf '|---|---|---|---|---|---|\n'
  printf '| %s MB in %s files | %s | %.2f s | %s MB | %s MB | %s MB |\n' "$(megabytes "$cid_bytes")" "$files" \
    "$(filesystem "$temp")" "${halvex_times[0]}" "$(echo "scale=1; $halvex_rss_kb / 1024" | bc)" \
    "$(megabytes "$halvex_disk_bytes")" "$(megabytes "$package_bytes")"
  exit 0
fi

# The other file system: a tmpfs of its own when this user may mount one, else /dev/shm.
other=$(mktemp -d /tmp/halvex-bench-tmpfs.XXXXXX)
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=$(( size_mb * 2 + 256 ))m halvex-bench "$other" 2>/dev/null; then
  mounted=$other
  other_label="a tmpfs mounted for the run"
else
  rmdir "$other"
  other=$(mktemp -d /dev/shm/halvex-bench.XXXXXX)
  scratch_other=$other
  trap 'cleanup; rm -rf "$scratch_other"' EXIT
  other_label="$(df --output=fstype "$other" | tail -1) at /dev/shm"
fi
[ "$(stat -c %d "$other")" != "$(stat -c %d "$cid")" ] ||
  { echo "$other is on the CID's file system: no second configuration possible" >&2; exit 1; }

echo "CID: $(megabytes "$cid_bytes") MB in $files files on $(filesystem "$cid"); $runs runs of each side, alternating"
rows=()
for config in same other; do
  if [ "$config" = same ]; then
    temp=$scratch/temp
    label="on the CID's file system ($(filesystem "$scratch"))"
  else
    temp=$other/temp
    label="on another file system ($other_label)"
  fi
  halvex_times=() by_hand_times=() alone_times=() halvex_rss_kb=0 halvex_disk_bytes=0
  prepare_alone
  for ((run = 1; run <= runs; run++)); do
    echo "  work folder $label: run $run of $runs"
    time_halvex
    time_alone
    time_by_hand
  done
  # halvex's package also holds its setup.vbs, which the work by hand does not write.
  echo "  package sizes: halvex $package_bytes bytes, by hand $by_hand_bytes bytes"
  halvex_median=$(median "${halvex_times[@]}")
  by_hand_median=$(median "${by_hand_times[@]}")
  alone_median=$(median "${alone_times[@]}")
  rows+=("$(printf '| %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.3f | %.2f (%.2f-%.2f) | %.3f | %s MB | %s MB | %s MB |' "$label" \
    "$halvex_median" "$(minimum "${halvex_times[@]}")" "$(maximum "${halvex_times[@]}")" \
    "$alone_median" "$(minimum "${alone_times[@]}")" "$(maximum "${alone_times[@]}")" \
    "$(echo "$halvex_median / $alone_median" | bc -l)" \
    "$by_hand_median" "$(minimum "${by_hand_times[@]}")" "$(maximum "${by_hand_times[@]}")" \
    "$(echo "$halvex_median / $by_hand_median" | bc -l)" "$(echo "scale=1; $halvex_rss_kb / 1024" | bc)" \
    "$(megabytes "$halvex_disk_bytes")" "$(megabytes "$package_bytes")")")
  rm -rf "$temp"
done

echo
echo "halvex -cli against 7-Zip alone and by hand, $(megabytes "$cid_bytes") MB in $files files, median (min-max) of $runs runs each; load average $(cut -d' ' -f1-3 /proc/loadavg):"
echo '| work folder | halvex s | 7-Zip alone s | ratio to 7-Zip alone | by hand s | ratio to by hand | halvex peak RSS | peak output-folder disk (sampled) | package |'
echo '|---|---|---|---|---|---|---|---|---|'
printf '%s\n' "${rows[@]}"
