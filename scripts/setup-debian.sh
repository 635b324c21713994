#!/usr/bin/env bash
# Installs the system packages Glintview needs on Debian 12: `setup-debian.sh run` only what
# building and running the program takes; with no argument also everything the tests, fuzzing,
# benchmarks and release builds take. Skips what is installed; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libdevil-dev libjpeg-dev libminizip-dev zlib1g-dev libx11-dev libxext-dev libxrandr-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core libseccomp-dev libsquish-dev libdeflate-dev
)
if [ "${1:-all}" != run ]; then
  packages+=(
    git clang clang-format libclang-rt-14-dev
    libgtest-dev libbenchmark-dev
    xvfb xauth openbox xdotool x11-utils imagemagick
    libstb-dev
    feh nsxiv
    desktop-file-utils groff-base appstream shared-mime-info
    libtiff-dev
  )
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
