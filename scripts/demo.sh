#!/usr/bin/env bash
# Installs, builds, and builds a package from the bundled sample CID into out/, then shows
# what an administrator checks: the status lines, the log, the package's contents and the
# setup.vbs its clients will run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# Only what the demo runs: a fresh build folder leaves the tests out (scripts/test.sh turns
# them on), and the build makes the two programs, the archiver link and the module.
testing=()
[ -f build/CMakeCache.txt ] || testing=(-DBUILD_TESTING=OFF)
cmake -S . -B build -G Ninja "${testing[@]}" >/dev/null
cmake --build build --target halvex halvex-obscure archiver_link installer_module

# The build makes the installer module build/7za/7zSD.sfx from 7-Zip's source. The
# configuration tool is the suite's own: without it the demo writes a clearly labelled
# stand-in, so the package installs the sample but configures no update location.
if [ ! -f build/ConfigUpdate.exe ]; then
  printf 'DEMO STAND-IN: NOT ConfigUpdate.exe\r\n' > build/ConfigUpdate.exe
  echo "Note: build/ConfigUpdate.exe is a demo stand-in; a real installer needs the suite's ConfigUpdate.exe there."
fi

# The log goes where the program puts it: $ProgramData, else /var/lib when writable,
# else the user's state folder. The demo keeps it inside out/ unless ProgramData is set.
mkdir -p out
export ProgramData=${ProgramData:-$PWD/out/appdata}
package=$PWD/out/VeskorEndpoint.exe

echo
echo "Obscuring a password read from standard input (the -opwd token):"
echo "  \$ printf 'secret\\n' | build/halvex-obscure"
printf 'secret\n' | build/halvex-obscure | sed 's/^/  /'
echo
echo "== halvex -cli -cidpath examples/NORDAVIN -sfxpath $package -s"
set +e
build/halvex -cli -cidpath "$PWD/examples/NORDAVIN" -sfxpath "$package" -s
code=$?
set -e
echo "== exit code: $code"
log=$ProgramData/Veskor/Zastrel/Log/log.txt
echo "== log: $log"
sed 's/\r$//' "$log"
[ "$code" -eq 0 ] || exit "$code"

echo
echo "== package contents (7za l $package)"
7za l "$package" | sed -n '/^   Date/,$p'
echo
echo "== setup.vbs from the package"
7za e -so "$package" setup.vbs | sed 's/\r$//'
echo
echo "== installer module: build/7za/7zSD.sfx, $(stat -c %s build/7za/7zSD.sfx) bytes ($(file -b build/7za/7zSD.sfx | cut -d, -f1))"
echo "A Windows client installs by running the package; the sample's setup.exe is a text stand-in."
