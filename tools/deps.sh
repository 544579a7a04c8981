#!/usr/bin/env bash
# Installs what building (and, with --tests, testing) needs on Debian 12.
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev
          fonts-ipafont-gothic fonts-ipafont-mincho qt6-translations-l10n)
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(xvfb xauth xdotool x11-utils imagemagick dbus python3-dbusmock python3-dbus
               desktop-file-utils appstream dpkg-dev file openbox)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
