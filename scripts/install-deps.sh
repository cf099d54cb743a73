#!/usr/bin/env bash
# Installs, from Debian, what building and running Halvex need, and fetches Debian's 7-Zip
# source, from which the build makes the installer module 7zSD.sfx.
#   scripts/install-deps.sh          the compilers, the libraries, 7-Zip, the MinGW-w64 cross
#                                    compiler for the module, and the deb-src entry that
#                                    `apt-get source 7zip` needs
#   scripts/install-deps.sh --test   also what the tests, fuzzing and load runs need: Wine
#                                    (32-bit Wine adds the i386 architecture), GoogleTest,
#                                    Xvfb, lintian, clang, clang-format, stress-ng, SoftHSM2
#                                    and the 64-bit cross compiler
# Idempotent: when everything is present it returns at once without touching apt.
#
# The 7-Zip source is unpacked outside the source tree, into the cache folder printed by
# `scripts/install-deps.sh --source-cache`: /var/cache/halvex/7zip-src when run as root,
# else ${XDG_CACHE_HOME:-~/.cache}/halvex/7zip-src. The build looks in both. When apt's
# lists name a newer 7zip source (a security update), the cache is fetched afresh, so the
# module and the source it names never drift apart.
set -euo pipefail

if [ "$(id -u)" -eq 0 ]; then
  source_cache=/var/cache/halvex/7zip-src
else
  source_cache=${XDG_CACHE_HOME:-$HOME/.cache}/halvex/7zip-src
fi
if [ "${1:-}" = "--source-cache" ]; then
  echo "$source_cache"
  exit 0
fi

with_tests=false
[ "${1:-}" = "--test" ] && with_tests=true

packages=(
  g++ cmake ninja-build pkg-config
  libboost-filesystem-dev libssl-dev zlib1g-dev qt6-base-dev
  p7zip-full patch
  # The Debian package: dpkg-shlibdeps and file; `apt-get source` unpacks with dpkg-source.
  dpkg-dev file
  # The installer module: the 32-bit Windows cross compiler.
  g++-mingw-w64-i686-win32
  # Signing packages and checking their signatures; keys on PKCS#11 tokens.
  osslsigncode libengine-pkcs11-openssl
)
test_packages=(
  bc lintian groff-base
  # The signing tests' time-stamp authority and the bench's CID maker.
  python3
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool
  # The Xvfb test reads the window's properties; the desktop entry is validated.
  x11-utils desktop-file-utils
  # The Wine test's helper programs and the 64-bit module.
  g++-mingw-w64-x86-64-win32
  # Wine runs packages in the tests: 64-bit Wine, and 32-bit Wine for the 32-bit module
  # on machines whose kernel runs 32-bit programs.
  wine wine64 wine32:i386
  # Fuzzing and load runs.
  clang libclang-rt-14-dev stress-ng
  # A key on a PKCS#11 token in the signing tests.
  softhsm2
  # The source's layout (.clang-format): Debian 12's newest clang-format.
  clang-format-19
)
$with_tests && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The newest 7zip source version apt's lists name (none before the deb-src entry exists).
wanted_source_version() {
  local best="" v
  for v in $(apt-cache showsrc --only-source 7zip 2>/dev/null | sed -n 's/^Version: //p'); do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done
  echo "$best"
}

have_source() {
  compgen -G "$source_cache/7zip-*/CPP/7zip/Bundles/SFXSetup/SfxSetup.cpp" >/dev/null || return 1
  local wanted
  wanted=$(wanted_source_version)
  # The .dsc's name carries the version without its epoch.
  [ -z "$wanted" ] || [ -f "$source_cache/7zip_${wanted#*:}.dsc" ]
}

[ ${#missing[@]} -eq 0 ] && have_source && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

if [ ${#missing[@]} -ne 0 ]; then
  # wine32 is an i386 package.
  if $with_tests && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
fi

# `apt-get source` needs deb-src entries: ours repeat the machine's Debian deb entries.
deb_src=/etc/apt/sources.list.d/halvex-deb-src.sources
if ! have_source && [ ! -f "$deb_src" ]; then
  entries=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null \
    | awk 'BEGIN { RS = ""; ORS = "\n\n" } /(^|\n)Types:[^\n]*deb([ \n]|$)/ && /debian/ {
             sub(/Types:[^\n]*/, "Types: deb-src"); print }')
  if [ -z "$entries" ] && [ -f /etc/apt/sources.list ]; then
    entries=$(sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' /etc/apt/sources.list)
    deb_src=/etc/apt/sources.list.d/halvex-deb-src.list
  fi
  [ -n "$entries" ] || { echo "No Debian deb entries in /etc/apt to derive deb-src entries from" >&2; exit 1; }
  printf '%s\n' "$entries" | "${sudo[@]}" tee "$deb_src" >/dev/null
fi

"${sudo[@]}" apt-get update -qq
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! have_source; then
  echo "Fetching Debian's 7-Zip source into $source_cache"
  # Fetched into a fresh folder that replaces the cache only when complete, so a failed
  # fetch leaves the previous source in place.
  fresh=$source_cache.new
  rm -rf "$fresh"
  mkdir -p "$fresh"
  # As root, apt's download sandbox user could not write here: fetch as root.
  (cd "$fresh" && apt-get source -qq -o APT::Sandbox::User=root 7zip)
  rm -rf "$source_cache"
  mv "$fresh" "$source_cache"
  have_source || { echo "apt-get source 7zip gave no SFXSetup bundle in $source_cache" >&2; exit 1; }
fi
