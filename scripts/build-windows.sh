#!/bin/bash
# Builds the Windows product on this Linux machine with MinGW-w64 and a Qt 6
# for Windows, and leaves it in build-windows/dist/ (or $WIN_BUILD_DIR/dist/):
#   timer-<version>-windows-x64.zip   the portable folder
#   timer-<version>-setup.exe         the per-user installer
# The Qt is the SDK in ../shared/qt-windows/, unpacked into the build folder
# the first time, or the one QT_WINDOWS_SDK names (a folder holding
# lib/cmake/Qt6). Arguments go to CMake's configure step.
# With --check it only says whether a Qt for Windows is at hand.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${WIN_BUILD_DIR:-build-windows}
shared=../shared/qt-windows
archive=$shared/qt-6.4.2-mingw-x86_64.tar.xz

find_sdk() {
    if [ -n "${QT_WINDOWS_SDK:-}" ]; then
        [ -d "$QT_WINDOWS_SDK/lib/cmake/Qt6" ] || {
            echo "QT_WINDOWS_SDK=$QT_WINDOWS_SDK holds no lib/cmake/Qt6" >&2; return 1; }
        sdk=$(cd "$QT_WINDOWS_SDK" && pwd)
        return 0
    fi
    [ -f "$archive" ] || {
        echo "no Qt for Windows: neither $archive nor QT_WINDOWS_SDK" >&2; return 1; }
    sdk=$PWD/$build/qt/6.4.2-mingw
}

if [ "${1:-}" = --check ]; then
    find_sdk
    exit 0
fi
find_sdk

if [ -z "${QT_WINDOWS_SDK:-}" ] && [ ! -f "$sdk/.unpacked" ]; then
    echo "Unpacking $archive"
    (cd "$shared" && sha256sum --check --quiet SHA256SUMS) || {
        echo "$archive does not match $shared/SHA256SUMS" >&2; exit 1; }
    rm -rf "$build/qt"
    mkdir -p "$build/qt"
    tar -C "$build/qt" -xJf "$archive"
    touch "$sdk/.unpacked"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$sdk" "$@" >/dev/null
cmake --build "$build" -j2
ls "$build"/dist/*.zip "$build"/dist/*-setup.exe 2>/dev/null || true
