#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, asking apt only for what is missing.
set -euo pipefail

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libgl-dev fonts-liberation fonts-wine fonts-dejavu-core
          fonts-crosextra-carlito fonts-crosextra-caladea fonts-symbola
          cups libcups2-dev printer-driver-cups-pdf poppler-utils qt6-svg-dev
          xdg-utils libfile-mimeinfo-perl shared-mime-info desktop-file-utils file dpkg-dev
          xvfb openbox xdotool x11-utils x11-apps imagemagick
          qt6-translations-l10n python3)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
