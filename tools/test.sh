#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --tests
tools/build.sh -DQUENBY_BUILD_TESTS=ON
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j2
