#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: in the private prefix that
# WINEPREFIX names, with the dependency cache's DLLs on the search path and Qt's
# plugins from the cache. CTest runs every suite through it.
set -euo pipefail
prefix=${VELMORA_WIN64_PREFIX:-$HOME/.cache/velmora/win64}
: "${WINEPREFIX:?WINEPREFIX is not set: run the suites through ./run.sh windows-test}"
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPATH
WINEPATH="$(windows_path "$prefix/bin")"
export QT_PLUGIN_PATH
QT_PLUGIN_PATH="$(windows_path "$prefix/plugins")"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
exec "${WINE:-/usr/lib/wine/wine64}" "$@"
