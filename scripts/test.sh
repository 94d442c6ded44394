#!/bin/bash
# Installs what is missing, builds, and runs every test: the Linux build's,
# then the Windows build's under Wine (scripts/build-windows.sh), then the
# Linux suite again under the sanitizers (scripts/sanitize.sh). Without a
# Qt for Windows only the Qt-free Windows suite runs, and a line says why.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
status=0

scripts/build.sh
(cd "${BUILD_DIR:-build}" && ctest --output-on-failure --timeout 900) || status=1

win=${WIN_BUILD_DIR:-build-windows}
if reason=$(scripts/build-windows.sh --check 2>&1); then
    WIN_BUILD_DIR=$win scripts/build-windows.sh
    (cd "$win" && ctest --output-on-failure --timeout 900) || status=1
else
    echo "Windows: the Qt suites, the zip and the installer are skipped: $reason"
    cmake -S tests/win -B "$win-native" -G Ninja \
          -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
    cmake --build "$win-native" -j2
    (cd "$win-native" && ctest --output-on-failure --timeout 900) || status=1
fi

scripts/sanitize.sh || status=1
exit $status
