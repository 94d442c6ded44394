#!/bin/bash
# Configures and builds into build/ (or $BUILD_DIR).
#
#   build.sh [--program] [CMAKE-ARGS...]
#
# --program builds only the clock and its library, without the tests, the
# benchmarks or the Windows suite.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
targets=()
if [ "${1:-}" = --program ]; then
    targets=(--target timer)
    shift
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build" "${targets[@]}"
