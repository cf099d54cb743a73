#!/usr/bin/env bash
# Makes a package of a small CID with the real `halvex -cli` and the real installer module,
# then runs it the way a Windows client does, under Wine, headless, in a Wine prefix of its
# own: the module must unpack the package and run setup.vbs through the script host, which
# must make halvex_temp with the busy marker and a copy of the package, run the suite's
# setup with the chosen options and the package's own arguments, then the configuration
# tool, delete the tool and the marker. Both the suite's setup and the tool are recorders
# (recorder.c) that write their command line and working folder to a file and end with the
# exit code each case gives them: the package must end with setup's code, or with the
# tool's when setup succeeded and the tool failed, and with 1618 while another run is busy.
#
#   WinePackageTest.sh <halvex> <7zSD.sfx> <recorder.exe> <wine loader> <win32|win64>
#
# Wine's script host lacks some of what Windows has: `For Each` over WScript.Arguments and
# WScript.Sleep stop a script there, silently. The test probes both. The unmodified script
# is run first and proved up to the first gap it meets; the steps after it are proved with
# an adapted copy of setup.vbs, repacked into a second package with the same module and
# configuration, that differs only in the lines Wine cannot run (checked line by line).
set -euo pipefail
halvex=$1 module=$2 recorder=$3 wine_loader=$4 winearch=$5
scratch=${HALVEX_TEST_TMP:?run through run-isolated.sh}

fail() { echo "FAIL: $*" >&2; exit 1; }
check() { # check <description> <command...>
  local what=$1; shift
  "$@" || fail "$what"
  echo "ok: $what"
}

export WINEPREFIX=$scratch/wineprefix WINEARCH=$winearch WINEDEBUG=-all
# No Mono or Gecko install prompts; nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
stop_wine() {
  "${wine_loader%/*}/wineserver" -k 2>/dev/null || true
  "${wine_loader%/*}/wineserver" -w 2>/dev/null || true
}
trap stop_wine EXIT
wine() { timeout 120 "$wine_loader" "$@"; }

echo "Module under test: $module ($winearch)"
check "the module is a Windows GUI program" \
  bash -c "file -b '$module' | grep -q 'PE32.*(GUI)'"

# --- A program folder of our own: the program, the archiver, the module, the tool. ---
program=$scratch/program
mkdir -p "$program/7za"
cp "$halvex" "$program/halvex"
ln -s "$(command -v 7za)" "$program/7za/7za"
cp "$module" "$program/7za/7zSD.sfx"
cp "$recorder" "$program/ConfigUpdate.exe"

# --- A small CID whose setup.exe is the recorder. ---
cid=$scratch/cid/NORDAVIN
for folder in lorv bexu dimbel torqel ynda ynda64 gulv gulv64 kett wofa zimr zimr64; do
  mkdir -p "$cid/$folder"
  printf '%s payload\r\n' "$folder" > "$cid/$folder/payload.txt"
done
mkdir -p "$cid/torqel/defs/2024"
printf 'definitions\r\n' > "$cid/torqel/defs/2024/defs.dat"
printf 'sync\r\n' > "$cid/cidsync.upd"
printf 'certificate\r\n' > "$cid/cac.pem"
cp "$recorder" "$cid/setup.exe"

# --- The package: unmanaged, silent, a primary update location with a trailing backslash,
# a user, a password and a setup parameter whose value holds a space. ---
mkdir -p "$scratch/out"
package=$scratch/out/Client.exe
"$program/halvex" -cli -cidpath "$cid" -sfxpath "$package" -s \
  -updp '\\updates\veskor\' -user builder -pwd 'pa55word' -group 'Sales Team' \
  > "$scratch/halvex.out" 2>&1 \
  || fail "halvex -cli failed: $(cat "$scratch/halvex.out" "$ProgramData/Veskor/Zastrel/Log/log.txt")"
check "the package starts with the module, byte for byte" \
  cmp -n "$(stat -c %s "$module")" "$module" "$package"

module_size=$(stat -c %s "$module")
# grep stops at its first match and tail may then meet a closed pipe: that is no failure.
config_end=$(set +o pipefail; tail -c +$((module_size + 1)) "$package" | LC_ALL=C grep -abo -m1 ';!@InstallEnd@!' | cut -d: -f1)
archive_at=$((module_size + ${config_end:-0} + 15))
check "the module's configuration text follows the module" \
  test "$(tail -c +$((module_size + 1)) "$package" | head -c $((archive_at - module_size)))" \
     = $';!@Install@!UTF-8!\r\nInstallPath="%temp%\\halvex_temp"\r\nExecuteFile="setup.vbs"\r\nProgress="No"\r\n;!@InstallEnd@!'

# What the package holds, as the module will unpack it.
contents=$scratch/contents
7za x -y -o"$contents" "$package" >/dev/null
check "the package holds setup.vbs, the tool and the CID" \
  test -f "$contents/setup.vbs" -a -f "$contents/ConfigUpdate.exe" -a -f "$contents/NORDAVIN/setup.exe"
setup_line=$(grep -a 'NORDAVIN\\setup.exe' "$contents/setup.vbs")
# The tool line quotes its path and its four arguments with Q = `" + Chr(34) + "`; the token is
# the third argument.
tool_line=$(grep -a 'ConfigUpdate.exe" + Chr(34)' "$contents/setup.vbs")
Q='" + Chr(34) + "'
token=${tool_line#*"$Q"*"$Q"*"$Q"*"$Q"*"$Q"*"$Q"}
token=${token%%"$Q"*}

# --- Wine: a fresh prefix and what its script host can do. ---
# One server for the whole test: Wine's boot time, which the script compares markers with,
# is the server's start.
mkdir -p "$WINEPREFIX"
"${wine_loader%/*}/wineserver" -p
started=$(date +%s)
wine wineboot -i >"$scratch/wineboot.log" 2>&1 || fail "wineboot failed: $(cat "$scratch/wineboot.log")"
probe=$scratch/probe
mkdir -p "$probe"
printf 'Set f = CreateObject("Scripting.FileSystemObject")\r\nFor Each a In WScript.Arguments\r\nNext\r\nf.CreateTextFile("foreach.ok").Close\r\nWScript.Sleep 1\r\nf.CreateTextFile("sleep.ok").Close\r\n' \
  > "$probe/probe.vbs"
(cd "$probe" && wine wscript probe.vbs x >/dev/null 2>&1) || true
gaps=()
[ -f "$probe/foreach.ok" ] || gaps+=("For Each over WScript.Arguments")
[ -f "$probe/sleep.ok" ] || gaps+=("WScript.Sleep")
echo "Wine's script host lacks: ${gaps[*]:-nothing}"

export HALVEX_RECORD='Z:'${scratch//\//\\}'\record.txt'
record=$scratch/record.txt

# The full exit code (a Unix exit status keeps only its low byte): a batch file waits for the
# package and writes %ERRORLEVEL%.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
run_package() { # run_package <package> <arguments...>; sets $code
  local batch=$scratch/run.cmd line
  line="@start \"\" /wait \"$(windows_path "$1")\""
  shift
  for argument in "$@"; do line+=" \"$argument\""; done
  # The redirection first: "echo 5> file" would redirect handle 5.
  printf '%s\r\n@> "%s" echo %%ERRORLEVEL%%\r\n' "$line" "$(windows_path "$scratch/code.txt")" > "$batch"
  rm -f "$scratch/code.txt"
  wine cmd /c "$(windows_path "$batch")" >"$scratch/wine.out" 2>&1 || true
  code=$(tr -d '\r\n ' < "$scratch/code.txt" 2>/dev/null || echo none)
}

# --- Run 1: the unmodified package, with two arguments of its own. ---
run_package "$package" extra 'two words'
# Where the script stops at a gap, the code is the script host's, not setup's.
[ ${#gaps[@]} -ne 0 ] || check "the package ends with setup's exit code 0 (got $code)" test "$code" = 0
halvex_temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type d -name halvex_temp | head -n 1)
check "setup.vbs made halvex_temp in the client's temporary folder" test -n "$halvex_temp"
check "the busy marker halvex.tmp holds the line halvex_temp" \
  test "$(cat "$halvex_temp/halvex.tmp" 2>/dev/null)" = $'halvex_temp\r'
diff -r -x halvex.tmp "$contents" "$halvex_temp" >"$scratch/copy.diff" \
  || fail "halvex_temp differs from the package's contents: $(cat "$scratch/copy.diff")"
echo "ok: halvex_temp holds a copy of everything the package unpacked"
check "the module removed its own unpack folder" \
  test -z "$(find "$(dirname "$halvex_temp")" -maxdepth 1 -name '7zS*' -print -quit)"

if [ ${#gaps[@]} -eq 0 ]; then
  adapted_package=$package
else
  check "the unmodified script stopped at the first gap: the suite's setup did not run" test ! -e "$record"
  # The adapted copy: the argument loop walks the arguments by index, and the pauses are
  # left out (the recorders end at once). Nothing else may differ.
  adapted=$scratch/adapted
  cp -r "$contents" "$adapted"
  sed -i -e 's/^For Each listArg In oArgs\r$/For argIndex = 0 To oArgs.Count - 1 : listArg = oArgs(argIndex)\r/' \
         -e 's/^WScript\.Sleep \([0-9]*\)\r$/'"'"' WScript.Sleep \1 (not in this script host)\r/' "$adapted/setup.vbs"
  diff "$contents/setup.vbs" "$adapted/setup.vbs" | grep '^[<>]' | sed 's/\r$//' > "$scratch/adapted.diff" || true
  check "the adapted copy differs only in the argument loop's head and the pauses" \
    test -z "$(grep -v -e '^< For Each listArg In oArgs$' -e '^> For argIndex = 0 To oArgs.Count - 1 : listArg = oArgs(argIndex)$' \
                     -e '^< WScript.Sleep [0-9]*$' -e '^> '"'"' WScript.Sleep [0-9]* (not in this script host)$' "$scratch/adapted.diff")"
  check "the adapted copy changes the argument loop" grep -q '^> For argIndex' "$scratch/adapted.diff"
  # Same module, same configuration text, a new archive with the same switches.
  adapted_package=$scratch/out/Adapted.exe
  (cd "$adapted" && 7za a "$scratch/adapted.7z" ./* -r -mx5 -mmt -ms=e256m >/dev/null)
  { head -c "$archive_at" "$package"; cat "$scratch/adapted.7z"; } > "$adapted_package"
  check "the adapted package has the same module and configuration" \
    cmp -n "$archive_at" "$package" "$adapted_package"
fi

# --- Run 2: while the marker of a running installation is there, a package quits at once. ---
if [ -e "$halvex_temp/halvex.tmp" ]; then
  rm -f "$record"
  run_package "$adapted_package" extra 'two words'
  check "a second run while the marker is there ends with exit code 1618 (got $code)" test "$code" = 1618
  check "a second run while the marker is there runs nothing" test ! -e "$record"
  check "a second run while the marker is there leaves the marker" test -f "$halvex_temp/halvex.tmp"
  # The first installation ends: its marker goes.
  rm "$halvex_temp/halvex.tmp"
fi

# --- Run 3: the whole installation. ---
rm -f "$record"
[ ${#gaps[@]} -eq 0 ] || run_package "$adapted_package" extra 'two words'
check "the installation ends with exit code 0 (got $code)" test "$code" = 0
check "the recorders wrote their file" test -f "$record"
sed 's/\r$//' "$record" > "$scratch/record.lines"
echo "--- what the recorders saw:"; cat "$scratch/record.lines"; echo "---"

temp_win=$(grep -m1 '^exe ' "$scratch/record.lines" | sed 's/^exe \(.*\)\\halvex_temp\\NORDAVIN\\setup.exe$/\1/')
expected=$(cat <<EOT
run
exe $temp_win\\halvex_temp\\NORDAVIN\\setup.exe
cwd @UNPACK@
cmdline "$temp_win\\halvex_temp\\NORDAVIN\\setup.exe" -bexu R -s -mng no -group "Sales Team" "extra" "two words"
arg -bexu
arg R
arg -s
arg -mng
arg no
arg -group
arg Sales Team
arg extra
arg two words
end
run
exe $temp_win\\halvex_temp\\ConfigUpdate.exe
cwd @UNPACK@
cmdline "$temp_win\\halvex_temp\\ConfigUpdate.exe" "\\\\updates\\veskor" "builder" "$token" "0"
arg \\\\updates\\veskor
arg builder
arg $token
arg 0
end
EOT
)
# The working folder is the module's unpack folder (…\7zS…), gone by now.
sed -E -e 's/^cwd .*\\7zS[^\\]*$/cwd @UNPACK@/' "$scratch/record.lines" > "$scratch/record.normal"
diff <(printf '%s\n' "$expected") "$scratch/record.normal" > "$scratch/record.diff" \
  || fail "the suite's setup and the tool were not run as designed:
$(cat "$scratch/record.diff")"
echo "ok: the suite's setup ran with the chosen options and the package's arguments, then the tool once"
check "the setup line of the script is the one that ran" \
  grep -q -- '-bexu R -s -mng no -group " + Chr(34) + "Sales Team" + Chr(34) + "" + Chr(32) + scriptArgs,, true)' <<<"$setup_line"
check "the token is not the plain password" test -n "$token" -a "$token" != pa55word
check "the tool was deleted from halvex_temp" test ! -e "$halvex_temp/ConfigUpdate.exe"
check "the marker was deleted" test ! -e "$halvex_temp/halvex.tmp"
check "the suite's copy stays in halvex_temp" cmp -s "$recorder" "$halvex_temp/NORDAVIN/setup.exe"
# --- Exit codes: setup's, or the tool's after a successful setup (3010: restart needed). ---
while read -r setup_exit tool_exit expected; do
  rm -f "$record"
  HALVEX_SETUP_EXIT=$setup_exit HALVEX_TOOL_EXIT=$tool_exit run_package "$adapted_package"
  check "setup $setup_exit, tool $tool_exit: the package ends with $expected (got $code)" test "$code" = "$expected"
  check "setup $setup_exit, tool $tool_exit: setup and the tool ran" test "$(grep -c '^run' "$record" 2>/dev/null)" = 2
  check "setup $setup_exit, tool $tool_exit: the marker was deleted" test ! -e "$halvex_temp/halvex.tmp"
done <<'EOT'
1603 0 1603
3010 0 3010
0 5 5
3010 5 5
1603 5 1603
EOT

# --- A marker written before the client last started blocks nothing. ---
printf 'halvex_temp\r\n' > "$halvex_temp/halvex.tmp"
touch -d "@$((started - 3600))" "$halvex_temp/halvex.tmp"
rm -f "$record"
run_package "$adapted_package"
check "a run after a stale marker ends with exit code 0 (got $code)" test "$code" = 0
check "a run after a stale marker runs setup" grep -q 'NORDAVIN\\setup.exe' "$record"
check "a run after a stale marker deletes its marker" test ! -e "$halvex_temp/halvex.tmp"

# --- A temporary folder whose path holds a blank. ---
mkdir -p "$WINEPREFIX/drive_c/my temp"
wine reg add 'HKCU\Environment' /v TEMP /t REG_SZ /d 'C:\my temp' /f >/dev/null 2>&1
wine reg add 'HKCU\Environment' /v TMP /t REG_SZ /d 'C:\my temp' /f >/dev/null 2>&1
rm -f "$record"
run_package "$adapted_package"
check "with a blank in TEMP the package ends with exit code 0 (got $code)" test "$code" = 0
check "with a blank in TEMP setup ran from there" \
  grep -qi '^exe C:\\my temp\\halvex_temp\\NORDAVIN\\setup.exe' "$record"

# --- Signed: the same package with an Authenticode signature, as halvex -signpkcs12 has
# osslsigncode append it, still unpacks and runs setup. ---
keys=$scratch/keys
mkdir -p "$keys"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" \
  -days 2 -subj "/CN=Halvex Wine Test" -addext extendedKeyUsage=codeSigning 2>/dev/null
signed_package=$scratch/out/Signed.exe
osslsigncode sign -certs "$keys/cert.pem" -key "$keys/key.pem" -h sha256 -in "$adapted_package" -out "$signed_package" \
  >/dev/null 2>&1 || fail "osslsigncode could not sign the package"
check "the signed package's signature verifies" \
  bash -c "osslsigncode verify -in '$signed_package' -CAfile '$keys/cert.pem' >/dev/null 2>&1"
rm -f "$record"
run_package "$signed_package"
check "the signed package ends with exit code 0 (got $code)" test "$code" = 0
check "the signed package runs setup" grep -q 'NORDAVIN\\setup.exe' "$record"
echo "WinePackageTest passed${gaps:+ (adapted script for: ${gaps[*]})}"
