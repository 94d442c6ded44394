#!/bin/bash
# Installs what is missing, builds the clock, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
scripts/build.sh --program
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "timer needs a desktop, and this session has no display (DISPLAY is not set);" \
         "to run it anyway on a virtual display: xvfb-run -a build/bin/timer" >&2
    exit 1
fi
exec build/bin/timer "$@"
