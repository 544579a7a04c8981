#!/usr/bin/env bash
# Builds the Debian package from a configured build tree and has lintian review
# it (any error or warning fails). With --install it then installs the package
# on this machine with apt-get, checks the manual pages and the command line of
# the installed program, starts it once in a private X server with a scratch
# HOME to see its window appear, and runs the end-to-end suite against the
# installed binary. Called by tools/test.sh.
#
#   tools/check-package.sh [--install] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
install=false
if [[ ${1:-} == --install ]]; then
    install=true
    shift
fi
build=$(realpath "${1:-${BUILD_DIR:-build}}")

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)

build_package() {
    (cd "$build" && cpack -G DEB >/dev/null)
    ls -t "$build"/quenby_*.deb | head -n 1
}

# lintian as a Debian reviewer runs it. Errors and warnings fail the check;
# information and pedantic lines are shown. Should a tag ever need an override,
# it goes into the package's lintian overrides with its reason beside it.
review_package() {
    local deb=$1
    echo "lintian -EIL +pedantic $(basename "$deb")"
    lintian -EIL +pedantic --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
        { echo "lintian found errors or warnings in $deb" >&2; return 1; }
}

install_package() {
    local deb=$1
    echo "installing $deb"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --reinstall --no-install-recommends "$deb" >/dev/null
    dpkg-query -W -f='${Package} ${Version} ${Status}\n' quenby
    # The same version may be installed already (an earlier build): what is
    # installed must be this build's program.
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/quenby | cmp -s - /usr/bin/quenby ||
        { echo "/usr/bin/quenby is not the program of $deb" >&2; return 1; }
    for f in /usr/bin/quenby /usr/share/applications/jp.tarven.Quenby.desktop \
             /usr/share/metainfo/jp.tarven.Quenby.metainfo.xml \
             /usr/share/icons/hicolor/{32x32,48x48,64x64,128x128}/apps/jp.tarven.Quenby.png \
             /usr/share/icons/hicolor/scalable/apps/jp.tarven.Quenby.svg \
             /usr/share/doc/quenby/copyright; do
        [[ -e $f ]] || { echo "missing after install: $f" >&2; return 1; }
    done
}

# What man shows once the package is in. Minimal images tell dpkg to leave
# manual pages out; there is nothing to read then.
check_manual_pages() {
    if [[ ! -e /usr/share/man/man1/quenby.1.gz ]]; then
        if grep -qs 'path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
            echo "dpkg leaves manual pages out on this machine: man quenby not checked"
            return 0
        fi
        echo "missing after install: /usr/share/man/man1/quenby.1.gz" >&2
        return 1
    fi
    LC_ALL=C.UTF-8 MANWIDTH=80 man quenby 2>&1 | grep -q '^ *quenby - run end-of-session' ||
        { echo "man quenby does not show the page" >&2; return 1; }
    LC_ALL=C.UTF-8 MANWIDTH=80 man -L ja quenby 2>&1 | grep -q '^ *quenby - 登録したプログラム' ||
        { echo "man -L ja quenby does not show the Japanese page" >&2; return 1; }
    echo "man quenby shows the English and the Japanese page"
}

# --help and --version answer with no display and no settings at all.
check_command_line() {
    local version
    version=$(env -i PATH=/usr/bin:/bin HOME=/nonexistent /usr/bin/quenby --version)
    [[ $version == "quenby $(dpkg-query -W -f='${Version}' quenby)" ]] ||
        { echo "quenby --version printed '$version'" >&2; return 1; }
    env -i PATH=/usr/bin:/bin HOME=/nonexistent /usr/bin/quenby --help | grep -q '^Usage: quenby' ||
        { echo "quenby --help printed no usage" >&2; return 1; }
    echo "installed quenby answers --version ($version) and --help without a display"
}

scratch=
xvfb_pid=
app_pid=
cleanup() {
    if [[ -n $app_pid ]]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    if [[ -n $scratch ]]; then rm -rf "$scratch"; fi
    app_pid= xvfb_pid= scratch=
}
trap cleanup EXIT

display=
start_private_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -s $scratch/display ]] && break
        sleep 0.1
    done
    [[ -s $scratch/display ]] || { echo "Xvfb did not start" >&2; return 1; }
    display=":$(head -n 1 "$scratch/display")"
}

# The installed program starts with nothing of the real user: scratch HOME and
# XDG folders, and buses that do not exist, so no power request could go anywhere.
start_installed_program() {
    local display=$1
    mkdir -p "$scratch"/{home,config,data,cache,state,tmp}
    mkdir -m 0700 "$scratch/runtime"
    env -i PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display" QT_QPA_PLATFORM=xcb \
        HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
        XDG_CACHE_HOME="$scratch/cache" XDG_STATE_HOME="$scratch/state" \
        XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp" \
        DBUS_SYSTEM_BUS_ADDRESS="unix:path=$scratch/no-system-bus" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-session-bus" \
        /usr/bin/quenby >"$scratch/quenby.log" 2>&1 &
    app_pid=$!
}

see_window() {
    local display=$1 window
    window=$(LC_ALL=C.UTF-8 DISPLAY=$display timeout 20 xdotool search --sync --onlyvisible --name '^TARVEN Inc\. Quenby$' | head -n 1)
    [[ -n $window ]] || { echo "the installed program showed no window" >&2; cat "$scratch/quenby.log" >&2; return 1; }
    echo "installed /usr/bin/quenby shows its window: $(DISPLAY=$display xwininfo -id "$window" | grep -E 'Width|Height' | tr -s ' \n' ' ')"
}

deb=$(build_package)
review_package "$deb"
$install || exit 0
install_package "$deb"
check_manual_pages
check_command_line
scratch=$(mktemp -d)
start_private_display
start_installed_program "$display"
see_window "$display"
cleanup
QUENBY_BINARY=/usr/bin/quenby QUENBY_E2E_SCRATCH="$build/tests/scratch/e2e-installed" \
    /usr/bin/python3 tests/e2e/cases.py
