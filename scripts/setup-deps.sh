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
  libcurl4-openssl-dev libssl-dev
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus
  libgumbo-dev
  libvips-dev libvips-tools webp
  tidy
  chromium
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pyftpdlib python3-openssl python3-paramiko openssl
  vsftpd curl lftp rclone openssh-server
  xvfb xauth
  desktop-file-utils appstream
  clang libclang-rt-dev clang-format
)
# npm fetches axe-core and Lighthouse below; a node installation that brings its own npm will do.
command -v npm >/dev/null 2>&1 || packages+=(npm)

# axe-core, the accessibility checker the template tests run inside WebEngine: a pinned
# version, fetched once with npm into .cache/ (ignored by git) and unpacked there.
fetch_axe() {
  local version=4.10.2
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/.cache/axe-core"
  [ -f "$dir/$version/axe.min.js" ] && return 0
  mkdir -p "$dir"
  (cd "$dir" && npm pack --silent "axe-core@$version" >/dev/null &&
     mkdir -p "$version" && tar -xzf "axe-core-$version.tgz" -C "$version" --strip-components=1 package/axe.min.js) ||
    echo "warning: could not fetch axe-core $version; the accessibility test will be skipped" >&2
}

# Lighthouse, the browser's own audit that a test runs with Debian's Chromium over every
# template's page: pinned (12.2.3 is the last that runs on Node 20), installed once with
# npm into .cache/lighthouse/<version>.
fetch_lighthouse() {
  local version=12.2.3
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/.cache/lighthouse/$version"
  [ -f "$dir/node_modules/lighthouse/package.json" ] && return 0
  mkdir -p "$dir"
  npm i -E --silent --no-audit --no-fund --prefix "$dir" "lighthouse@$version" >/dev/null ||
    { rm -rf "$dir/node_modules"
      echo "warning: could not fetch lighthouse $version; the Lighthouse test will be skipped" >&2; }
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  fetch_axe
  fetch_lighthouse
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fetch_axe
fetch_lighthouse
