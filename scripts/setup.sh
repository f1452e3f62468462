#!/usr/bin/env bash
# Installs what the build and the tests need and is missing. Quick and silent
# when everything is there; needs root (or sudo) only when something is not.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libbenchmark-dev
  libsdl2-dev libpng-dev libfreetype-dev fonts-dejavu-core fonts-dejavu-extra
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine64 fonts-wine xvfb xauth imagemagick xdotool
  python3 clang clang-format procps util-linux gnuplot-nox
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg -s "$package" >/dev/null 2>&1; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup: these packages are missing and I am not root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
