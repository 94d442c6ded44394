#!/bin/bash
# Builds the Debian package from a build folder, checks it with the desktop's
# own validators and lintian, installs its files into a temporary root and
# starts the installed clock there on a private X server.
#
#   test_package.sh BUILD-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d /tmp/package-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/out/tarvenel-timer_*.deb)
echo "built $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/files"
grep -E '(tst_|bench_|e2e|/win/|\.a$|libGlass\.so$)' "$tmp/files" && fail "test, benchmark or development files in the package"
for file in ./usr/bin/timer ./usr/share/man/man1/timer.1.gz ./usr/bin/timer-next \
            ./usr/share/man/man1/timer-next.1.gz ./usr/share/doc/tarvenel-timer/copyright \
            ./usr/share/doc/tarvenel-timer/changelog.gz ./usr/share/icons/hicolor/scalable/apps/; do
    grep -qxF "$file" "$tmp/files" || fail "$file is not in the package"
done
[ "$(grep -c '^./usr/share/icons/hicolor/[0-9]*x[0-9]*/apps/.*\.png$' "$tmp/files")" -eq 8 ] ||
    fail "the package lacks a hicolor size from 16 to 256"
depends=$(dpkg-deb -f "$deb" Depends)
for wanted in 'fonts-nanum | fonts-noto-cjk' 'libqt6widgets6' 'qt6-qpa-plugins' \
              'qt6-translations-l10n'; do
    [[ $depends == *"$wanted"* ]] || fail "Depends lacks $wanted: $depends"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log"; fail "appstreamcli validate"; }
# Errors and warnings fail; informational tags are listed.
lintian --fail-on error,warning --display-info "$deb" >"$tmp/lintian.log" 2>&1 || fail "lintian"
grep -v 'root privileges' "$tmp/lintian.log" || true

# The installed program finds its library in the root, not in the build.
# ldd's output is kept first: grep -q would stop reading early, and under
# pipefail the SIGPIPE ldd then gets would count as a failure.
libraries=$(env -u LD_LIBRARY_PATH ldd "$root/usr/bin/timer")
grep -qF "libGlass.so.0 => $root/" <<<"$libraries" ||
    fail "the installed timer does not find the installed libGlass: $(grep Glass <<<"$libraries")"
# The installed command answers without a display or the build's libraries.
next=$(env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" \
       "$root/usr/bin/timer-next" --json --count 1 moongate) || fail "the installed timer-next failed"
/usr/bin/python3 -c 'import json, sys; [e] = json.load(sys.stdin); assert e["event"] == "moongate"' \
    <<<"$next" || fail "the installed timer-next printed no moongate opening: $next"
# Its window's title names the packaged version.
version=$(dpkg-deb -f "$deb" Version)
/usr/bin/python3 "$here/../xsession.py" "$here/show_installed.sh" "$root/usr/bin/timer" \
    "Tarvenel Timer v${version%%-*}" || fail "the installed clock shows no window"

[ "$failures" -eq 0 ] || exit 1
echo "package checks passed"
