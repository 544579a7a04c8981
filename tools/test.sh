#!/usr/bin/env bash
# Installs what is missing, builds, builds the Debian package, installs it and
# starts the installed program once; then runs the whole test suite (the
# end-to-end suite included), whose summary closes the output.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --tests
tools/build.sh -DQUENBY_BUILD_TESTS=ON
build=${BUILD_DIR:-build}
tools/check-package.sh "$build"
cd "$build"
ctest --output-on-failure -j2
