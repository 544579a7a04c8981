#!/usr/bin/env bash
# Regenerates docs/screenshots/main.png and docs/screenshots/settings.png from
# a fresh Release build, under Xvfb, with a sample configuration in a scratch HOME.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --tests
tools/build.sh >/dev/null
/usr/bin/python3 tools/screenshots.py "${BUILD_DIR:-build}/src/quenby" docs/screenshots
