#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the tools need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
pkgs=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libfreetype-dev libfontconfig-dev libharfbuzz-dev
  libjpeg-dev libpng-dev zlib1g-dev libgdk-pixbuf-2.0-dev
  fonts-liberation fonts-wine fontconfig
  poppler-utils zbar-tools
  libcurl4-openssl-dev python3-aiosmtpd
  libcups2-dev cups cups-client cups-filters
  libgtk-3-dev adwaita-icon-theme xvfb xdotool imagemagick
  libdeflate-dev qpdf
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Fuzzing (cmake -DCORVEXA_FUZZ=ON with CXX=clang++): the compiler and libFuzzer's runtime.
fuzz=(clang libclang-rt-14-dev)
missing=()
for p in "${fuzz[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
