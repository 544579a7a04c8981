#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/build.sh -DQUENBY_BUILD_TESTS=OFF
exec build/src/quenby
