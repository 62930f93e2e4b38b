#!/usr/bin/env bash
# Installs what is missing, builds Quillmark and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
build=${QUILLMARK_BUILD_DIR:-build}
# Same configuration as scripts/test.sh, so the two share one build folder.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target quillmark
# WebEngine refuses to start as root unless its sandbox is off.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
exec "$build/bin/quillmark" "$@"
