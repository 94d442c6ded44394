#!/bin/bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole suite there.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
BUILD_DIR=build-asan BUILD_TYPE=Debug scripts/build.sh \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined"
# libfaketime is preloaded ahead of the sanitizer runtime in the end-to-end
# tests. A leak makes a process exit non-zero, which the tests check where
# the program ends by itself (quitting from the tray, Yes to the question).
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1
cd build-asan
ctest --output-on-failure --timeout 900
