#!/bin/bash
# Installs what is missing, builds the clock for /usr with Debian's hardening
# flags, and leaves its Debian package in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
build=${BUILD_DIR:-build-package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
BUILD_DIR=$build BUILD_TYPE=Release scripts/build.sh --program -DCMAKE_INSTALL_PREFIX=/usr
(cd "$build" && cpack -G DEB >/dev/null)
mkdir -p dist
deb=$(cd "$build" && ls tarvenel-timer_*.deb)
mv "$build/$deb" dist/
echo "dist/$deb"
