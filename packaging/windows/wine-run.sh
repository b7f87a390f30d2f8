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
# The offscreen platform reads fonts from a folder, not from Windows's own.
fonts=/usr/share/fonts/truetype/dejavu
if [ -z "${QT_QPA_FONTDIR:-}" ] && [ -d "$fonts" ]; then
    export QT_QPA_FONTDIR
    QT_QPA_FONTDIR=$(windows_path "$fonts")
fi
# A Windows program started from a console logs to stderr, Qt Test's lines
# included; Wine gives it no console window, and Qt would then send them to the
# debugger instead, where neither CTest nor a suite reading a program's stderr
# sees them.
export QT_FORCE_STDERR_LOGGING=1
# Wine keeps the QT_ variables of the Linux side (the platform plugin, the plugin
# path, the logging above) from the Windows program unless each comes as WINEQT_.
while IFS= read -r name; do
    export "WINE$name=${!name}"
done < <(compgen -e | grep '^QT_')
exec "${WINE:-/usr/lib/wine/wine64}" "$@"
