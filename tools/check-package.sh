#!/usr/bin/env bash
# Builds the Debian source and binary packages from what is committed and has
# lintian review them (any error or warning fails). With --install it then
# installs the package on this machine with apt-get, checks its manual pages,
# runs the package's own tests (debian/tests) against the installed program
# and the end-to-end suite against the installed binary. Called by
# tools/test.sh.
#
#   tools/check-package.sh [--install] [build-dir]
#
# The packages are made in <build-dir>/package/: a clean export of HEAD in
# quenby-<version>/, the upstream tarball made from it (everything but
# debian/), and beside them what dpkg-buildpackage makes: .dsc, .debian.tar.xz,
# .deb, the debug symbols' .deb, .buildinfo and .changes, and build.log.
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

package_dir=$build/package

# HEAD, exported as it is committed: what an archive would be given.
export_tree() {
    git rev-parse --git-dir >/dev/null 2>&1 ||
        { echo "check-package.sh builds from a git checkout (what is committed)" >&2; return 1; }
    local version
    version=$(git show HEAD:debian/changelog | dpkg-parsechangelog -l - -S Version)
    upstream=${version%-*}
    source_dir=$package_dir/quenby-$upstream
    rm -rf "$package_dir"
    mkdir -p "$source_dir"
    git archive HEAD | tar -x -C "$source_dir"
    echo "packaging $(git rev-parse --short HEAD) as quenby $version in $package_dir"
    [[ -z $(git status --porcelain --untracked-files=no) ]] ||
        echo "(changes not committed are not in the package)"
}

# The upstream tarball holds every file but debian/, with the release's date
# and no owner, so that each revision of the package of one release comes
# with the same tarball, byte for byte.
make_upstream_tarball() {
    local released
    released=$(sed -n '1s/^Quenby [^ ]* (\([0-9-]*\))$/\1/p' "$source_dir/data/changelog")
    [[ -n $released ]] || { echo "data/changelog names no release date" >&2; return 1; }
    tar -C "$package_dir" --create --format=gnu --sort=name --exclude="quenby-$upstream/debian" \
        --mtime="$released 00:00:00 UTC" --owner=0 --group=0 --numeric-owner --mode=u+rw,go=rX \
        "quenby-$upstream" | xz -6 --threads=1 >"$package_dir/quenby_$upstream.orig.tar.xz"
}

# The unit and widget tests have run before (tools/test.sh): the package
# build leaves them out. A plain "dpkg-buildpackage -us -uc" runs them.
build_packages() {
    local jobs
    jobs=$(nproc)
    echo "dpkg-buildpackage -us -uc (nocheck; the log is $package_dir/build.log)"
    (cd "$source_dir" &&
        DEB_BUILD_OPTIONS="nocheck parallel=$jobs" dpkg-buildpackage -us -uc --build-profiles=nocheck) \
        >"$package_dir/build.log" 2>&1 ||
        { tail -n 40 "$package_dir/build.log" >&2; echo "dpkg-buildpackage failed" >&2; return 1; }
    changes=$(ls "$package_dir"/quenby_*_"$(dpkg --print-architecture)".changes)
    deb=$(ls "$package_dir"/quenby_*_"$(dpkg --print-architecture)".deb)
}

# lintian as a Debian reviewer runs it, on the .changes: the source package,
# the binary packages and the build information. Errors and warnings fail the
# check; information and pedantic lines are shown. Should a tag ever need an
# override, it goes into the package's lintian overrides with its reason
# beside it.
review_packages() {
    echo "lintian -EI --pedantic $(basename "$changes")"
    lintian -EI --pedantic --fail-on error,warning "$changes" 2> >(grep -v 'running with root privileges' >&2) ||
        { echo "lintian found errors or warnings in $(basename "$changes")" >&2; return 1; }
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

# The package's own tests (debian/tests), as autopkgtest runs them: from the
# source tree, against the installed program, each with a scratch folder of
# its own as HOME and TMPDIR; a test fails by its exit status or by writing to
# standard error.
run_package_tests() {
    local name scratch status
    for name in $(sed -n 's/^Tests: *//p' "$source_dir/debian/tests/control" | tr ',' ' '); do
        scratch=$(mktemp -d)
        mkdir "$scratch/home" "$scratch/tmp"
        status=0
        (cd "$source_dir" && env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$scratch/home" TMPDIR="$scratch/tmp" \
            AUTOPKGTEST_TMP="$scratch/tmp" "debian/tests/$name") 2>"$scratch/stderr" | sed "s/^/$name: /" ||
            status=$?
        if [[ $status -ne 0 || -s $scratch/stderr ]]; then
            sed "s/^/$name (stderr): /" "$scratch/stderr" >&2
            echo "package test $name failed (status $status)" >&2
            rm -rf "$scratch"
            return 1
        fi
        rm -rf "$scratch"
    done
}

export_tree
make_upstream_tarball
build_packages
review_packages
$install || exit 0
install_package "$deb"
check_manual_pages
run_package_tests
QUENBY_BINARY=/usr/bin/quenby QUENBY_E2E_SCRATCH="$build/tests/scratch/e2e-installed" \
    /usr/bin/python3 tests/e2e/cases.py
