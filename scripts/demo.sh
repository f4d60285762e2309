#!/usr/bin/env bash
# Builds the module and the runner, then runs the tools on the built-in demo rig.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vorrik
build/default/bin/vorrik play examples/demo.vrk "$@"
