#!/usr/bin/env bash
# Installs, from Debian, every package that building, testing and the demo need.
# Idempotent: when everything is present it returns at once without touching apt.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libboost-filesystem-dev libssl-dev qt6-base-dev
  p7zip-full bc
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
