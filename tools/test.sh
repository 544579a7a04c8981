#!/usr/bin/env bash
# Installs what is missing, builds with the tests and runs the unit and widget
# tests first; then builds the Debian source and binary packages from what is
# committed (dpkg-buildpackage, reviewed by lintian) and runs the end-to-end
# suite once, against the build tree. In CI (CI=true), or with --install, the
# package is installed on this machine instead, checked with its own tests
# (debian/tests), and the end-to-end suite runs against the installed program.
#
#   tools/test.sh [--install]
set -euo pipefail
cd "$(dirname "$0")/.."
install=false
[[ ${CI:-} == true ]] && install=true
for arg in "$@"; do
    case $arg in
        --install) install=true ;;
        *) echo "usage: tools/test.sh [--install]" >&2; exit 2 ;;
    esac
done
build=${BUILD_DIR:-build}

tools/deps.sh --tests
tools/build.sh -DQUENBY_BUILD_TESTS=ON
(cd "$build" && ctest --output-on-failure -j2 -LE e2e)
if $install; then
    tools/check-package.sh --install "$build"
else
    tools/check-package.sh "$build"
    (cd "$build" && ctest --output-on-failure -L e2e)
fi
