#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quillmark need.
# Does nothing when they are all present; otherwise needs root (or sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  hunspell-en-us
  libqt6svg6
  libgl-dev libxkbcommon-dev
  libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pyftpdlib python3-openssl python3-paramiko openssl
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
