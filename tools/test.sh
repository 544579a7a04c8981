#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (the
# end-to-end suite included); then builds the Debian package, installs it and
# starts the installed program once.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --tests
tools/build.sh -DQUENBY_BUILD_TESTS=ON
build=${BUILD_DIR:-build}
(cd "$build" && ctest --output-on-failure -j2)
tools/check-package.sh "$build"
