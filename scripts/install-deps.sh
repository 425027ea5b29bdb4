#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmark need, only when missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libpugixml-dev libgtest-dev libgmock-dev
  qt6-base-dev libgl-dev
  fonts-dejavu-core xvfb xauth python3-lxml time
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
