#!/usr/bin/env bash
# Installs the Debian 12 packages Pellomar needs to build, test, package and run.
# Does nothing (and needs no network) when every package is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache lld
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libqt6svg6
  libgl-dev libxkbcommon-dev
  libicu-dev libcups2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  sqlite3 libsqlite3-dev python3
  fonts-dejavu-core fonts-liberation
  xvfb xauth clang-format
  cups-daemon cups-client poppler-utils
  dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
