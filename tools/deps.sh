#!/usr/bin/env bash
# Installs what building (and, with --tests, testing) needs on Debian 12.
# With --tests it also makes the users' locale, ja_JP.UTF-8, when it is
# missing: a fresh system has only C.UTF-8, and the Japanese checks must run
# under the real locale.
set -euo pipefail

# What the build needs, the Build-Depends of debian/control (where g++ comes
# with build-essential; scdoc and perl turn the manual page sources into
# pages), and the faces and translations the program runs with.
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev
          libsystemd-dev libxcb1-dev pkg-config
          fonts-ipafont-gothic fonts-ipafont-mincho qt6-translations-l10n scdoc perl)
tests=false
if [[ "${1:-}" == "--tests" ]]; then
    tests=true
    # The tests' own, then what builds and reviews the Debian packages.
    packages+=(xvfb xauth xdotool x11-utils imagemagick dbus python3-dbusmock python3-dbus
               desktop-file-utils appstream file openbox man-db locales
               debhelper dpkg-dev lintian git xz-utils)
fi

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Enabled in /etc/locale.gen, as "dpkg-reconfigure locales" would, so that the
# locale stays when the locales package rebuilds its archive.
if $tests && ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    echo "generating the locale ja_JP.UTF-8"
    entries=$(sed -E 's/^#[[:space:]]*(ja_JP\.UTF-8 UTF-8)[[:space:]]*$/\1/' /etc/locale.gen 2>/dev/null || true)
    if ! grep -qx 'ja_JP.UTF-8 UTF-8' <<<"$entries"; then
        [[ -n $entries ]] && entries+=$'\n'
        entries+='ja_JP.UTF-8 UTF-8'
    fi
    printf '%s\n' "$entries" | "${sudo[@]}" tee /etc/locale.gen >/dev/null
    "${sudo[@]}" locale-gen
    locale -a | grep -qix 'ja_JP\.utf-\?8' || { echo "ja_JP.UTF-8 could not be generated" >&2; exit 1; }
fi
