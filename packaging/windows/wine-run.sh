#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: in the private prefix that
# WINEPREFIX names, with the dependency cache's and the MinGW runtime's DLLs on the
# search path and Qt's plugins from the cache. CTest runs every suite through it.
set -euo pipefail
prefix=${VELMORA_WIN64_PREFIX:-$HOME/.cache/velmora/win64}
: "${WINEPREFIX:?WINEPREFIX is not set: run the suites through ./run.sh windows-test}"
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The MinGW runtime (libstdc++, libgcc_s, winpthread) from the cross compiler.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
export WINEPATH
WINEPATH="$(windows_path "$prefix/bin");$(windows_path "$runtime");$(windows_path "$pthread")"
export QT_PLUGIN_PATH
QT_PLUGIN_PATH="$(windows_path "$prefix/plugins")"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
exec "${WINE:-/usr/lib/wine/wine64}" "$@"
