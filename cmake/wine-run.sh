#!/bin/sh
# Runs a Windows program under Wine, headless, in a Wine prefix of the build tree (made on first
# use): the emulator the Windows build gives CMake, so that ctest runs the cross-compiled tests.
#   wine-run.sh PROGRAM.exe [ARG...]
# BEAMORA_WINEPREFIX chooses the prefix (default: build-windows/wine-prefix beside this build's
# CMakeCache.txt, found from the current directory upwards).
set -eu
if [ -z "${BEAMORA_WINEPREFIX:-}" ]; then
    dir=$(pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    BEAMORA_WINEPREFIX=$dir/wine-prefix
fi
# Headless unless a test gives its display (the Xvfb of the end-to-end tests).
if [ -n "${BEAMORA_WINE_DISPLAY:-}" ]; then export DISPLAY="$BEAMORA_WINE_DISPLAY"; else unset DISPLAY; fi
unset WAYLAND_DISPLAY
export WINEPREFIX="$BEAMORA_WINEPREFIX" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Two tests may start at once: one makes the prefix, the other waits for it.
    mkdir -p "$WINEPREFIX"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wine wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    flock -u 9
fi
exec wine "$@"
