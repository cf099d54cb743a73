#!/usr/bin/env bash
# Installs, builds, and builds a package from the bundled sample CID into out/, then shows
# what an administrator checks: the status lines, the log, the package's contents and the
# setup.vbs its clients will run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

# The installer module and the configuration tool come from the administrator; without
# them the demo writes clearly labelled stand-ins so the package can still be built and
# inspected.
if [ ! -f build/7za/7zSD.sfx ]; then
  printf 'DEMO STAND-IN: NOT THE 7-ZIP INSTALLER MODULE 7zSD.sfx\r\n' > build/7za/7zSD.sfx
  echo "Note: build/7za/7zSD.sfx is a demo stand-in; a real installer needs 7-Zip's 7zSD.sfx module there."
fi
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
