#!/bin/bash
# Installs the Debian packages that building, running or testing needs and
# that the machine lacks.  deps.sh run|test   installs;
#                          deps.sh --list run|test   only prints the names.
#                          deps.sh package   what scripts/package.sh needs.
set -euo pipefail

run_packages=(
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libxcb1-dev libxcb-shape0-dev
    libxcb-xfixes0-dev
    qt6-wayland     # for Wayland sessions without an X server
    fonts-nanum     # a Hangul font: without one every Korean text shows as boxes
    qt6-translations-l10n   # Qt's own texts (dialog buttons) in Korean, also for Windows
    xvfb            # xvfb-run, which the clock names when there is no display
    libcanberra-dev libcanberra-pulse   # the alarms' sounds, through the desktop's sound server
)
package_packages=(dpkg-dev file lintian desktop-file-utils appstream)
test_packages=(
    openbox xcompmgr trayer xdotool x11-utils x11-apps
    faketime tzdata dbus at-spi2-core python3-pyatspi
    python3-pytest python3-xlib python3-pil   # the end-to-end suites: runner, X, pixels
    python3-icalendar   # reads timer-next's calendar files back
    dunst           # a notification service for the alarms' end-to-end test
    pulseaudio pulseaudio-utils sox   # a sound server of the tests' own, recorded and measured
    weston python3-dbus python3-gi "${package_packages[@]}"
    # The Windows build, its packages and its tests under Wine (Qt's host
    # tools run moc and rcc for the Windows Qt; Wine's Tahoma is only a
    # recommendation of Wine's)
    g++-mingw-w64-x86-64-posix mingw-w64-tools qt6-base-dev-tools nsis xz-utils
    wine wine64 fonts-wine
    locales         # a Korean player's locale for the programs under Wine
)

list=
[ "${1:-}" = --list ] && { list=1; shift; }
case "${1:-}" in
    run) wanted=("${run_packages[@]}") ;;
    package) wanted=("${run_packages[@]}" "${package_packages[@]}") ;;
    test) wanted=("${run_packages[@]}" "${test_packages[@]}") ;;
    *) echo "usage: $0 run|test|package" >&2; exit 2 ;;
esac

if [ -n "$list" ]; then
    echo "${wanted[@]}"
    exit 0
fi

missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
