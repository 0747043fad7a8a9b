#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the window need, then configures and
# builds. Safe to run again. Run as root on Debian 12.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  build-essential cmake ninja-build ccache pkg-config clang-format python3
  python3-icalendar python3-vobject  # the export tests read .ics and .vcf files back with them
  clang libclang-rt-dev  # the fuzz build: libFuzzer comes with the runtime clang only recommends
  libesedb-dev libbfio-dev libesedb-utils
  libpcre2-dev zlib1g-dev libgumbo-dev
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-webengine-dev xvfb xauth fonts-noto-cjk fonts-noto-color-emoji
  libgmime-3.0-dev libical-dev
  zsh fish  # the completion tests run the shells' own completion
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

"$root/scripts/build.sh" release
