#!/bin/sh
# Checks that the files which travel with the package agree with the build and
# with each other:  package_data_test.sh <source-dir> <version> <doc-build-dir>
set -eu
src=$1 version=$2 docs=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A release whose changelog or AppStream entry was not brought along.
changelog_version=$(sed -n '1s/^Quenby \([^ ]*\) ([0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\})$/\1/p' "$src/data/changelog")
[ "$changelog_version" = "$version" ] || fail "changelog does not start with 'Quenby $version (YYYY-MM-DD)'"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$src/data/jp.tarven.Quenby.metainfo.xml" | head -n 1)
[ "$release" = "$version" ] || fail "newest AppStream release is $release, the build is $version"

# One licence everywhere: LICENSE and the AppStream data.
head -n 2 "$src/LICENSE" | grep -q "GNU GENERAL PUBLIC LICENSE" &&
    head -n 2 "$src/LICENSE" | grep -q "Version 3," || fail "LICENSE is not the GPL version 3"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$src/data/jp.tarven.Quenby.metainfo.xml" ||
    fail "AppStream project_license is not GPL-3.0-or-later"

# The Debian package (not in the upstream tarball) is this release with a
# revision of its own, under the same licence.
if [ -d "$src/debian" ]; then
    package_version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
    [ "${package_version%-*}" = "$version" ] && [ "$package_version" != "$version" ] ||
        fail "the package is at $package_version, not at $version-<revision>"
    awk '/^Files: \*$/ { whole = 1; next } whole && /^License:/ { print $2; exit }' "$src/debian/copyright" |
        grep -qx 'GPL-3+' || fail "copyright file does not put Files: * under GPL-3+"
fi

# The menu entry and its four actions must start a program the package
# installs, not a wrapper, each with its button's option.
exec_lines=$(sed -n 's/^Exec=//p' "$src/data/jp.tarven.Quenby.desktop" | tr '\n' ';')
[ "$exec_lines" = "quenby;quenby --shutdown;quenby --restart;quenby --suspend;quenby --run-only;" ] ||
    fail "menu entry and its actions start '$exec_lines'"

# Both manual pages render without a groff complaint and name every settings key.
for page in quenby.1 quenby.ja.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$docs/$page.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$docs/$page.gz" 2>/dev/null)
    for key in Form1Top Form1Left Form2Top Form2Left Check1 Check5 Check6 Check7 kidou1 kidou5 byou \
               HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_RUNTIME_DIR TMPDIR QT_QPA_PLATFORM LANG \
               quenby-clean systemd-logind polkit; do
        printf '%s\n' "$text" | grep -q -- "$key" || fail "$page does not mention $key"
    done
done

[ "$failures" -eq 0 ] || exit 1
echo "package data agree with version $version"
