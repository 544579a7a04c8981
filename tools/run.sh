#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/build.sh -DQUENBY_BUILD_TESTS=OFF
cat <<'EOF'

Starting build/src/quenby with your own settings (~/.config/TARVEN Inc.Quenby.ini).
Its buttons act on THIS machine: 終了 shuts it down, 再起動 restarts it and
サスペンド suspends it, after running the programs and clean-ups you have set up.
実行のみ runs them and leaves the machine on; Cancel quits and does nothing.

EOF
exec build/src/quenby
