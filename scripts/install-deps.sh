#!/usr/bin/env bash
# Installs the Debian packages the game needs to build, run and be tested,
# but only those that are missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang-format
  libsdl2-dev libespeak-ng-dev espeak-ng-data libspeexdsp-dev libspeechd-dev
  libgtest-dev libgmock-dev
  xvfb xfonts-base xdotool x11-utils libx11-dev
  desktop-file-utils appstream man-db dpkg-dev file lintian
  speech-dispatcher speech-dispatcher-espeak-ng
  libbrlapi-dev brltty
  pulseaudio pulseaudio-utils libasound2-plugins
  clang libclang-rt-dev
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 nsis zip
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
