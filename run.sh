#!/usr/bin/env bash
# One entry point for set-up, build, tests, sanitizer runs, fuzzing and benchmarks.
# Every command installs what it needs first, so it works on a fresh Debian 12 machine.
set -euo pipefail
cd "$(dirname "$0")"

JOBS=${JOBS:-$(nproc)}
BASE_PKGS=(build-essential cmake pkg-config qtbase5-dev libqt5serialport5-dev
           libhidapi-dev libjpeg-dev fonts-dejavu-core util-linux iproute2 help2man)
FUZZ_PKGS=(clang libclang-rt-14-dev)
BENCH_PKGS=(imagemagick libjpeg-turbo-progs libvips-tools time)
SHOT_PKGS=(xvfb xauth x11-apps imagemagick fonts-dejavu-core)

log() { printf '==> %s\n' "$*"; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that are not installed yet; does nothing when all are there.
need() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...]: configure (again: quick, and a target added since the
# last run is then known), then build incrementally the targets named in $TARGETS, or
# everything.
build() {
    local dir=$1; shift
    cmake -S . -B "$dir" "$@" >/dev/null
    local targets=()
    for t in ${TARGETS:-}; do targets+=(--target "$t"); done
    cmake --build "$dir" -j "$JOBS" "${targets[@]}"
}

# A test that crashes would have Qt Test attach gdb for a stack dump; on a big test
# process that can outlast the run's time limit, and an orphaned gdb keeps the
# process alive. The failure itself is reported either way. CTEST_JOBS suites run at
# once (default: one per core).
run_ctest() {
    local dir=$1; shift
    (cd "$dir" && QTEST_DISABLE_STACK_DUMP=1 ctest --output-on-failure -j "${CTEST_JOBS:-$JOBS}" --timeout 300 "$@")
}

# Most suites spend their time waiting on devices and timers, so the plain run takes
# two per core; the sanitizer runs, whose suites compute several times as much, one.
cmd_test() {
    need "${BASE_PKGS[@]}"
    build build
    CTEST_JOBS=${CTEST_JOBS:-$((JOBS * 2))} run_ctest build "$@"
}

cmd_asan() {
    need "${BASE_PKGS[@]}"
    TARGETS=test_suites build build-asan -DSANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
        run_ctest build-asan "$@"
}

cmd_tsan() {
    need "${BASE_PKGS[@]}"
    TARGETS=tsan_suites build build-tsan -DSANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
        run_ctest build-tsan -L tsan "$@"
}

# fuzz [seconds]: builds every harness (target "fuzzers") and runs each for the given time.
cmd_fuzz() {
    local seconds=${1:-60}
    need "${BASE_PKGS[@]}" "${FUZZ_PKGS[@]}"
    TARGETS=fuzzers build build-fuzz -DBUILD_FUZZERS=ON -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    local found=0
    for f in build-fuzz/tests/fuzz/fuzz_*; do
        [ -f "$f" ] && [ -x "$f" ] || continue
        found=1
        local name corpus seeds=()
        name=$(basename "$f")
        corpus="build-fuzz/corpus/$name"
        mkdir -p "$corpus"
        # Committed seed inputs (read-only); what the run finds goes to $corpus.
        [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
        log "fuzzing $name for ${seconds}s"
        "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" "${seeds[@]}"
    done
    [ $found -eq 1 ] || log "no fuzz targets built"
}

cmd_bench() {
    need "${BASE_PKGS[@]}" "${BENCH_PKGS[@]}"
    build build-release -DCMAKE_BUILD_TYPE=Release
    for b in build-release/bench/*/bench_*; do
        [ -f "$b" ] && [ -x "$b" ] || continue
        log "$(basename "$b")"
        "$b"
    done
}

# soak [MEDIUM=N ...]: the whole-system load and fault run at full size, one table.
cmd_soak() {
    need "${BASE_PKGS[@]}"
    TARGETS=soak build build-release -DCMAKE_BUILD_TYPE=Release
    if [ $# -eq 0 ]; then set -- serial=10000 udp=10000 usb=3000; fi
    build-release/tools/soak/soak "$@"
}

cmd_screenshot() {
    need "${BASE_PKGS[@]}" "${SHOT_PKGS[@]}"
    TARGETS="jpgtool_screenshot hostconsole simdevice_program simhid" build build
    tools/jpgtoolshot/screenshot.sh build docs
    tools/console/screenshot.sh build docs
}

# package: installs the build into a temporary prefix, builds examples/minimal-host
# against the installed package out of the tree, once through the CMake package and
# once through the pkg-config files, and runs it and the installed hostcli against
# the installed simulated device on each medium (USB on the installed simulated HID
# bus); checks the manual pages and that the bash completions complete.
# wait_for_lines FILE...: waits up to 10 s until each file has its first line, as a
# simulated device prints where a host finds it once it answers.
wait_for_lines() {
    local tries=0 f
    for f in "$@"; do
        until [ -s "$f" ]; do
            tries=$((tries + 1))
            [ $tries -le 100 ] || { echo "the simulated device did not start" >&2; return 1; }
            sleep 0.1
        done
    done
}

PKG_PREFIX=
PKG_WORK=
PKG_DEVICES=()
# What cmd_package leaves: the devices it started and its temporary folders. Run
# at exit, so that a failed step does not leave them behind either.
package_cleanup() {
    if [ ${#PKG_DEVICES[@]} -gt 0 ]; then kill "${PKG_DEVICES[@]}" 2> /dev/null || true; fi
    rm -rf "$PKG_PREFIX" "$PKG_WORK"
}

# completes PREFIX PROGRAM WORDS... EXPECTED: the installed completion of PROGRAM,
# asked for the last of WORDS, offers EXPECTED.
completes() {
    local prefix=$1 program=$2
    shift 2
    local expected=${*: -1} words=("${@:1:$#-1}")
    local got
    # Each offer whole, "|" between them; with bash-completion loaded first when
    # COMPLETES_WITH is its script.
    got=$(bash -c '[ -z "$COMPLETES_WITH" ] || source "$COMPLETES_WITH"; source "$1"; shift
                   COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); "_velmora_${COMP_WORDS[0]}"
                   IFS="|"; echo "${COMPREPLY[*]}"' \
        _ "$prefix/share/bash-completion/completions/$program" "$program" "${words[@]}")
    [ "$got" = "$expected" ] || { echo "completion of $program ${words[*]}: got \"$got\", expected \"$expected\"" >&2; return 1; }
}

cmd_package() {
    need "${BASE_PKGS[@]}" bash-completion abigail-tools
    build build
    trap package_cleanup EXIT
    PKG_PREFIX=$(mktemp -d)
    PKG_WORK=$(mktemp -d)
    local prefix=$PKG_PREFIX work=$PKG_WORK
    cmake --install build --prefix "$prefix" > "$work/install.log"
    log "installed into $prefix"
    ( cd "$prefix" && find . -type f | sort | sed 's/^/    /' )
    abi/abi.sh check "$prefix"
    log "every installed header compiles on its own"
    installed_headers_compile "$prefix"
    cmake -S examples/minimal-host -B "$work/minimal-host" -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
    cmake --build "$work/minimal-host" -j "$JOBS" > /dev/null
    local host="$work/minimal-host/minimal-host"
    # The same example through pkg-config, naming each library; Qt 5 wants
    # position-independent code in every program that uses it.
    local libdir
    libdir=$(cd "$(dirname "$(find "$prefix" -name velmora-porvane.pc)")/.." && pwd)
    export PKG_CONFIG_PATH="$libdir/pkgconfig"
    # The names of 1.0.5 stay for one release, and bring the same flags.
    for library in velmora-porvane velmora-quillet velmora-module Porvane Quillet Module; do
        pkg-config --validate "$library"
    done
    [ "$(pkg-config --cflags --libs Porvane Quillet Module | tr ' ' '\n' | sort -u)" \
      = "$(pkg-config --cflags --libs velmora-porvane | tr ' ' '\n' | sort -u)" ] \
        || { echo "the old pkg-config names bring other flags" >&2; return 1; }
    log "minimal-host through pkg-config: $(pkg-config --modversion velmora-porvane)"
    # shellcheck disable=SC2046
    g++ -std=c++17 -fPIC examples/minimal-host/main.cpp -o "$work/minimal-host-pc" \
        $(pkg-config --cflags --libs velmora-porvane) -Wl,-rpath,"$libdir"
    log "the documents' examples that need the package"
    tests/docs/run-examples.sh . build --package "$prefix"

    log "manual pages and bash completions"
    local program
    for program in hostcli simdevice jpgtool hostdemo hostconsole; do
        local page="$prefix/share/man/man1/$program.1" section
        grep -q "^\.TH ${program^^} " "$page" || { echo "no manual page of $program" >&2; return 1; }
        for section in "EXIT STATUS" EXAMPLES ENVIRONMENT "SEE ALSO"; do
            grep -q "^\.SH \"\?$section" "$page" || { echo "$program(1) has no $section" >&2; return 1; }
        done
    done
    grep -q '^\.TH VELMORA-SCRIPT 5' "$prefix/share/man/man5/velmora-script.5" \
        || { echo "no manual page velmora-script(5)" >&2; return 1; }
    completes "$prefix" hostcli --scr --script
    completes "$prefix" simdevice --hang --hang-up-after
    completes "$prefix" jpgtool --exp --export
    completes "$prefix" hostconsole --scre --screenshot
    for f in applications/hostconsole.desktop icons/hicolor/scalable/apps/hostconsole.svg; do
        [ -f "$prefix/share/$f" ] || { echo "share/$f is not installed" >&2; return 1; }
    done
    mkdir -p "$work/logs-here" "$work/files"
    touch "$work/files/my photo.jpg" "$work/files/session one.jsonl"
    ( cd "$work" && completes "$prefix" hostcli --errorlog logs- logs-here )
    completes "$prefix" hostcli --parity e even
    completes "$prefix" hostcli --flow '' 'none|hardware|software'
    completes "$prefix" hostcli --baud 9 '9600|921600'
    # File names with spaces stay whole, with bash-completion and without it; the
    # fallback reads a name typed with a backslash as readline would (_filedir
    # leaves that to readline, which a script has not).
    local with
    for with in "" /usr/share/bash-completion/bash_completion; do
        ( cd "$work/files" && export COMPLETES_WITH=$with && completes "$prefix" jpgtool --picture my 'my photo.jpg' \
            && completes "$prefix" hostconsole se 'session one.jsonl' )
    done
    ( cd "$work/files" && completes "$prefix" hostcli --script 'my\ p' 'my photo.jpg' )
    # The simulated HID bus stays out of the library directory a system searches.
    local simhid="$prefix/lib/velmora/libsimhid.so"
    [ -f "$simhid" ] && [ -z "$(find "$prefix" -maxdepth 2 -name 'libsimhid.so*' -not -path '*/velmora/*')" ] \
        || { echo "libsimhid.so is not (only) in lib/velmora/" >&2; return 1; }
    "$prefix/bin/hostdemo" --version > /dev/null

    # The installed simulated device, on a pseudo-terminal and on UDP; each prints
    # where a host finds it once it answers.
    "$prefix/bin/simdevice" > "$work/serial.out" 2> /dev/null &
    PKG_DEVICES+=($!)
    "$prefix/bin/simdevice" --udp 127.0.0.2:0 > "$work/udp.out" 2> /dev/null &
    PKG_DEVICES+=($!)
    wait_for_lines "$work/serial.out" "$work/udp.out"
    local pty endpoint
    pty=$(head -n 1 "$work/serial.out")
    endpoint=$(head -n 1 "$work/udp.out")
    log "minimal-host serial $pty (CMake package, then pkg-config)"
    "$host" serial "$pty" 2> /dev/null
    "$work/minimal-host-pc" serial "$pty" 2> /dev/null
    log "minimal-host udp ${endpoint%:*} ${endpoint##*:}"
    "$host" udp "${endpoint%:*}" "${endpoint##*:}" 2> /dev/null
    log "minimal-host usb 4c56 0105 (simulated HID bus)"
    LD_PRELOAD="$simhid" VELMORA_SIMHID=4c56:0105 "$host" usb 4c56 0105 2> /dev/null
    log "installed hostcli on each medium"
    "$prefix/bin/hostcli" --port "$pty" --cmd 71:00 --cmd e1:00
    "$prefix/bin/hostcli" --udp "$endpoint" --cmd 71:00 --cmd f1:01:00:00:02
    LD_PRELOAD="$simhid" VELMORA_SIMHID=4c56:0105 "$prefix/bin/hostcli" --usb 4c56:0105 --cmd 71:00 --cmd 77:21
    log "installed hostconsole, offscreen, a script on UDP kept as a session and a picture"
    printf '71:00\n77:21\n' > "$work/console.txt"
    QT_QPA_PLATFORM=offscreen "$prefix/bin/hostconsole" --udp "$endpoint" --script "$work/console.txt" \
        --save "$work/console.jsonl" --screenshot "$work/console.png" 2> /dev/null
    [ "$(grep -c '"event":"reply"' "$work/console.jsonl")" -eq 2 ] || { echo "hostconsole kept no replies" >&2; return 1; }
    log "the installed package works"
}

# installed_headers_compile PREFIX: each header a host may include, alone in a
# translation unit: the installed surface needs nothing that is not installed.
installed_headers_compile() {
    local include=$1/include/velmora header
    # shellcheck disable=SC2046
    for header in $(cd "$include" && find . -name '*.h' | sort); do
        echo "#include \"${header#./}\"" | g++ -std=c++17 -fPIC -fsyntax-only -x c++ - \
            $(pkg-config --cflags Qt5Core Qt5Network Qt5SerialPort) \
            -I"$include" -I"$include/serial" -I"$include/udp" -I"$include/usb" \
            || { echo "installed header $header does not compile on its own" >&2; return 1; }
    done
}

# abi-update: describes the libraries' ABI anew in abi/, from a fresh install.
cmd_abi_update() {
    need "${BASE_PKGS[@]}" abigail-tools
    build build
    local prefix
    prefix=$(mktemp -d)
    cmake --install build --prefix "$prefix" > /dev/null
    abi/abi.sh update "$prefix"
    rm -rf "$prefix"
}

cmd_demo() {
    need "${BASE_PKGS[@]}"
    TARGETS=hostdemo build build
    build/tools/host/hostdemo "$@"
}

# ---- Windows x86-64: cross-built with MinGW-w64, tested under Wine ------------
# The dependencies (Qt, Qt SerialPort, hidapi, libjpeg-turbo) are built once into a
# cache outside the tree by packaging/windows/deps.sh; the project into
# build-windows/, every program and DLL in build-windows/bin.
WIN_PKGS=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 dpkg-dev cmake make nasm perl
          python3 xz-utils pkg-config zip)
WIN_PREFIX=${VELMORA_WIN64_PREFIX:-$HOME/.cache/velmora/win64}
WIN_BUILD=build-windows
WINE64=/usr/lib/wine/wine64
# The suites that cannot run under Wine, each with why. They are not built for
# Windows, and CTest lists them as disabled.
WIN_SKIP_SUITES=(
    tst_ptydevice         # the simulated device on a pseudo-terminal, a Linux device
    tst_serialendtoend    # its device is on a pseudo-terminal in the test process
    tst_simdeviceprogram  # ends the device program with a POSIX signal
    tst_portudp           # refuses sends by standing in front of sendmsg; reads rusage
    tst_udpdiscovery      # refuses sends by standing in front of sendmsg; reads rusage
    tst_udpendtoend       # floods from a raw socket and reads /proc for memory
    tst_hostcli           # preloads the HID bus and ends the program with signals
    tst_hostdiscovery     # discovery inside a private network namespace
)
# Within the suites that run, what Windows lacks is skipped row by row, with the
# reason in the suite's output: the serial rows of tst_consolemedia, tst_soak and
# tst_soakoptions (the simulated device needs a pseudo-terminal), and the POSIX
# permission and no-display rows of tst_exportcommand, and the forked, small-disk
# and symbolic-link rows of tst_jpegwriter.

cmd_windows_deps() {
    need "${WIN_PKGS[@]}"
    local start=$SECONDS
    VELMORA_WIN64_PREFIX=$WIN_PREFIX JOBS=$JOBS packaging/windows/deps.sh
    log "windows-deps: $((SECONDS - start)) s"
}

cmd_windows() {
    cmd_windows_deps
    local start=$SECONDS
    local skip
    skip=$(IFS=';'; echo "${WIN_SKIP_SUITES[*]}")
    cmake -S . -B "$WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/x86_64-w64-mingw32.cmake" \
        -DVELMORA_WIN64_PREFIX="$WIN_PREFIX" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$PWD/$WIN_BUILD/bin" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/packaging/windows/wine-run.sh" \
        -DVELMORA_SKIP_SUITES="$skip" > /dev/null
    cmake --build "$WIN_BUILD" -j "$JOBS" --target Porvane Quillet Module jpgtool hostcli hostdemo hostconsole \
        simhid simdevice_program test_suites
    log "windows: $((SECONDS - start)) s"
}

# Starts the private Wine prefix inside the build (once) and its server.
wine_start() {
    export WINEPREFIX=$PWD/$WIN_BUILD/wine VELMORA_WIN64_PREFIX=$WIN_PREFIX WINEDEBUG=-all
    [ -x "$WINE64" ] || { echo "wine64 is missing: run './run.sh windows-deps'" >&2; exit 1; }
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix $WINEPREFIX"
        timeout 300 "$WINE64" wineboot --init > "$WIN_BUILD/wineboot.log" 2>&1 \
            || { echo "Wine did not start (see $WIN_BUILD/wineboot.log): check wine64 is installed and works" >&2; exit 1; }
    fi
}
wine_stop() { /usr/lib/wine/wineserver -k 2> /dev/null || true; }

# Wine's COM ports on pseudo-terminals answer modem-status queries only with the
# preload built here (see packaging/windows/modemlines.c).
WIN_MODEMLINES=$WIN_BUILD/modemlines.so
build_modemlines() {
    [ "$WIN_MODEMLINES" -nt packaging/windows/modemlines.c ] && return 0
    gcc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$WIN_MODEMLINES" packaging/windows/modemlines.c -ldl
}

# windows-serial (not part of windows-test: hostcli.exe opens the port, then its
# thread never comes back from Qt's first WaitCommEvent. Qt's serial backend waits
# overlapped without an event, its completion going to a completion port; Wine 8.0
# takes an overlapped wait without an event for a blocking one, so the thread
# waits for a byte that the device sends only after the command it never gets).
# Serial through Wine's COM ports: the Linux simulated device on a pseudo-terminal
# that dosdevices/comN links to, driven by hostcli.exe, so that the Windows serial
# backend is the one under test; COM9 by its plain name, COM12 as Windows wants
# names from COM10 on.
WIN_DEVICES=()
windows_serial_check() {
    need "${BASE_PKGS[@]}"
    TARGETS=simdevice_program build build
    build_modemlines
    local out=$WIN_BUILD/serial-device.out pty
    build/tools/simdevice/simdevice > "$out" 2> /dev/null &
    WIN_DEVICES+=($!)
    wait_for_lines "$out"
    pty=$(head -n 1 "$out")
    local port link
    for port in COM9 'COM12' '\\.\COM12'; do
        link=$WINEPREFIX/dosdevices/com${port##*COM}
        ln -sfn "$pty" "$link"
        log "serial under Wine: hostcli.exe --port $port (dosdevices/com${port##*COM} -> $pty)"
        LD_PRELOAD=$PWD/$WIN_MODEMLINES timeout 60 packaging/windows/wine-run.sh "$WIN_BUILD/bin/hostcli.exe" \
            --port "$port" --cmd 71:00 --cmd e1:00 || { echo "serial under Wine failed on $port" >&2; return 1; }
        rm -f "$link"
    done
}

cmd_windows_serial() {
    cmd_windows
    wine_start
    trap 'wine_stop; [ ${#WIN_DEVICES[@]} -eq 0 ] || kill "${WIN_DEVICES[@]}" 2> /dev/null || true' EXIT
    windows_serial_check
}

cmd_windows_test() {
    cmd_windows
    local start=$SECONDS
    wine_start
    trap 'wine_stop; [ ${#WIN_DEVICES[@]} -eq 0 ] || kill "${WIN_DEVICES[@]}" 2> /dev/null || true' EXIT
    [ ${#WIN_SKIP_SUITES[@]} -eq 0 ] || log "not run under Wine: ${WIN_SKIP_SUITES[*]}"
    local failed=0
    CTEST_JOBS=${CTEST_JOBS:-$JOBS} run_ctest "$WIN_BUILD" "$@" || failed=1
    log "windows-test: $((SECONDS - start)) s"
    return $failed
}
# windows-demo: hostdemo.exe under Wine, its serial part against the Linux simulated
# device on a pseudo-terminal that Wine's COM5 leads to.
cmd_windows_demo() {
    cmd_windows
    need "${BASE_PKGS[@]}"
    TARGETS=simdevice_program build build
    build_modemlines
    wine_start
    trap 'wine_stop; [ ${#WIN_DEVICES[@]} -eq 0 ] || kill "${WIN_DEVICES[@]}" 2> /dev/null || true' EXIT
    local out=$WIN_BUILD/demo-device.out
    build/tools/simdevice/simdevice --silent 42:1 --silent 43 --pieces > "$out" 2> /dev/null &
    WIN_DEVICES+=($!)
    wait_for_lines "$out"
    ln -sfn "$(head -n 1 "$out")" "$WINEPREFIX/dosdevices/com5"
    LD_PRELOAD=$PWD/$WIN_MODEMLINES packaging/windows/wine-run.sh "$WIN_BUILD/bin/hostdemo.exe" --port COM5 "$@"
}

# The DLLs that the programs and DLLs in DIR load and that are not Windows's own,
# copied into DIR from the cache and the MinGW runtime, until none is missing.
WIN_DLL_DIRS=()
copy_dlls() {
    local dir=$1 added=1 f dll src d
    WIN_DLL_DIRS=("$WIN_PREFIX/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
                  /usr/x86_64-w64-mingw32/lib)
    while [ $added -eq 1 ]; do
        added=0
        for f in "$dir"/*.exe "$dir"/*.dll "$dir"/*/*.dll; do
            [ -f "$f" ] || continue
            for dll in $(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
                [ -f "$dir/$dll" ] && continue
                src=
                for d in "${WIN_DLL_DIRS[@]}"; do [ -f "$d/$dll" ] && { src=$d/$dll; break; }; done
                [ -n "$src" ] || continue # a system DLL
                cp "$src" "$dir/"
                added=1
            done
        done
    done
}

# windows-package: velmora-<version>-win64.zip of the installed build, with what
# its programs load; then builds examples/minimal-host against the unpacked zip and
# runs it under Wine against the simulated UDP device.
cmd_windows_package() {
    cmd_windows
    need "${BASE_PKGS[@]}"
    local version name stage work
    version=$(sed -n 's/^project(Velmora .*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    name=velmora-$version-win64
    work=$PWD/$WIN_BUILD/package
    stage=$work/$name
    rm -rf "$work"
    mkdir -p "$work"
    cmake --install "$WIN_BUILD" --prefix "$stage" > "$work/install.log"
    # Linux desktop files and the simulated device program have no place here.
    rm -rf "$stage/share/applications" "$stage/share/icons" "$stage/bin/simdevice.exe"
    # The demonstration links the simulated HID bus, a DLL under hidapi's name: it
    # lives in a folder of its own with the bus beside it.
    mkdir -p "$stage/demo"
    mv "$stage/bin/hostdemo.exe" "$stage/demo/"
    mv "$stage/lib/velmora/libhidapi.dll" "$stage/demo/"
    mkdir -p "$stage/bin/platforms" "$stage/bin/imageformats" "$stage/share/doc/velmora"
    cp "$WIN_PREFIX/plugins/platforms/"{qwindows,qoffscreen}.dll "$stage/bin/platforms/"
    cp "$WIN_PREFIX/plugins/imageformats/qjpeg.dll" "$stage/bin/imageformats/"
    copy_dlls "$stage/bin"
    cp README.md CHANGELOG.md "$stage/share/doc/velmora/"
    printf 'The demonstration: run it with bin\\ on PATH, e.g.\r\n  set PATH=%%~dp0..\\bin;%%PATH%%\r\n  hostdemo.exe\r\n' \
        > "$stage/demo/README.txt"
    (cd "$work" && rm -f "$name.zip" && zip -qr "$name.zip" "$name")
    mv "$work/$name.zip" .
    log "$name.zip: $(du -k "$name.zip" | cut -f1) KiB, $(unzip -l "$name.zip" | tail -1 | awk '{print $2}') files"

    log "examples/minimal-host against the unpacked zip"
    local unpacked=$work/unpacked
    mkdir -p "$unpacked"
    unzip -q "$name.zip" -d "$unpacked"
    cmake -S examples/minimal-host -B "$work/minimal-host" \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/x86_64-w64-mingw32.cmake" -DVELMORA_WIN64_PREFIX="$WIN_PREFIX" \
        -DPorvane_DIR="$unpacked/$name/lib/cmake/Porvane" > /dev/null
    cmake --build "$work/minimal-host" -j "$JOBS" > /dev/null
    cp "$work/minimal-host/minimal-host.exe" "$unpacked/$name/bin/"
    TARGETS=simdevice_program build build
    wine_start
    trap 'wine_stop; [ -z "${PKG_DEVICES[*]}" ] || kill "${PKG_DEVICES[@]}" 2> /dev/null || true' EXIT
    build/tools/simdevice/simdevice --udp 127.0.0.2:0 > "$work/udp.out" 2> /dev/null &
    PKG_DEVICES+=($!)
    wait_for_lines "$work/udp.out"
    local endpoint
    endpoint=$(head -n 1 "$work/udp.out")
    log "minimal-host.exe udp ${endpoint%:*} ${endpoint##*:} under Wine"
    "$WINE64" "$unpacked/$name/bin/minimal-host.exe" udp "${endpoint%:*}" "${endpoint##*:}"
    log "the Windows package works"
}
# ---- end of Windows ----------------------------------------------------------

case "${1:-}" in
    test)  shift; cmd_test "$@" ;;
    demo)  shift; cmd_demo "$@" ;;
    package) shift; cmd_package "$@" ;;
    abi-update) shift; cmd_abi_update ;;
    asan)  shift; cmd_asan "$@" ;;
    tsan)  shift; cmd_tsan "$@" ;;
    fuzz)  shift; cmd_fuzz "$@" ;;
    bench) shift; cmd_bench "$@" ;;
    soak)  shift; cmd_soak "$@" ;;
    screenshot) shift; cmd_screenshot "$@" ;;
    deps)  shift; need "${BASE_PKGS[@]}" ;;
    windows-deps) shift; cmd_windows_deps ;;
    windows) shift; cmd_windows ;;
    windows-test) shift; cmd_windows_test "$@" ;;
    windows-package) shift; cmd_windows_package ;;
    windows-demo) shift; cmd_windows_demo "$@" ;;
    windows-serial) shift; cmd_windows_serial ;;
    *) echo "usage: $0 {demo|test|asan|tsan|fuzz [seconds]|bench|soak|screenshot|package|abi-update|deps|windows-deps|windows|windows-test|windows-serial|windows-demo|windows-package}" >&2; exit 2 ;;
esac
