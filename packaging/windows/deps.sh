#!/usr/bin/env bash
# Builds the Windows x86-64 dependencies once, into a cache outside the tree:
# Qt 5.15 qtbase (only the parts we use), Qt SerialPort, hidapi and libjpeg-turbo,
# the versions the Linux build takes from Debian. The sources come from Debian's
# source packages through a private apt configuration (the system's is never
# changed), or from VELMORA_SOURCES for what the mirror does not serve; each file is
# checked against SHA256SUMS beside this script before it is unpacked.
#
# Everything is built into PREFIX.partial (work trees in PREFIX.work) and moved to
# PREFIX only when all of it is complete, so a failed run leaves no half-built cache.
# A rerun after a failure goes on from the last finished component.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
PREFIX=${VELMORA_WIN64_PREFIX:-$HOME/.cache/velmora/win64}
SOURCES=${VELMORA_SOURCES:-$ROOT/../shared/third_party}
JOBS=${JOBS:-$(nproc)}
TRIPLE=x86_64-w64-mingw32
# Raised whenever what is built changes (options, components), so that an older
# cache is rebuilt; the checksums file counts as well.
RECIPE=1

STAGE=$PREFIX.partial
WORK=$PREFIX.work
APT=$WORK/apt

die() { echo "windows-deps: $*" >&2; exit 1; }
log() { printf '==> %s\n' "$*"; }

recipe_id() { { echo "recipe $RECIPE"; cat "$HERE/SHA256SUMS"; } | sha256sum | cut -c1-16; }

if [ -f "$PREFIX/.velmora-deps" ] && [ "$(cat "$PREFIX/.velmora-deps")" = "$(recipe_id)" ]; then
    log "Windows dependencies up to date in $PREFIX"
    exit 0
fi

for tool in "$TRIPLE-gcc-posix" "$TRIPLE-g++-posix" "$TRIPLE-windres" dpkg-source cmake nasm perl; do
    command -v "$tool" > /dev/null || die "$tool is missing: run './run.sh windows-deps', which installs it"
done

mkdir -p "$STAGE" "$WORK/bin" "$WORK/src"
# Qt's build calls the compilers by the plain triple names: point those at the
# POSIX-thread variants, whatever the system's alternatives say.
for t in gcc g++ ar ranlib windres strip objdump nm ld dlltool; do
    f=$(command -v "$TRIPLE-$t-posix" || command -v "$TRIPLE-$t") || die "$TRIPLE-$t is missing"
    ln -sf "$f" "$WORK/bin/$TRIPLE-$t"
done
export PATH=$WORK/bin:$PATH

# The private apt configuration: source entries for the mirror(s) this machine
# already uses, own lists and cache.
apt_opts() {
    echo -o "Dir::Etc::SourceList=$APT/sources.list" -o "Dir::Etc::SourceParts=$APT/parts" \
         -o "Dir::State::Lists=$APT/lists" -o "Dir::Cache=$APT/cache" \
         -o "Dir::Etc::Preferences=$APT/preferences" -o "Dir::Etc::PreferencesParts=$APT/parts"
}
apt_setup() {
    [ -f "$APT/ready" ] && return 0
    mkdir -p "$APT/parts" "$APT/lists/partial" "$APT/cache/archives/partial"
    : > "$APT/preferences"
    local mirrors
    mirrors=$( { cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -n 's/^URIs:[[:space:]]*//p' | tr ' ' '\n'
                 cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
                     | sed -nE 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p'; } \
               | grep -v security | sort -u || true)
    [ -n "$mirrors" ] || die "no Debian mirror found in /etc/apt: add one to the system's apt sources"
    local m
    for m in $mirrors; do
        echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $m bookworm main"
    done > "$APT/sources.list"
    # shellcheck disable=SC2046
    apt-get $(apt_opts) update -qq > "$APT/update.log" 2>&1 \
        || die "apt-get update of the source lists failed (see $APT/update.log): check the mirror is reachable"
    touch "$APT/ready"
}

# verify FILE: its SHA-256 is the one pinned in SHA256SUMS.
verify() {
    local file=$1 name want got
    name=$(basename "$file")
    want=$(awk -v n="$name" '$2 == n {print $1}' "$HERE/SHA256SUMS")
    [ -n "$want" ] || die "$name has no pinned checksum: add it to packaging/windows/SHA256SUMS"
    got=$(sha256sum "$file" | cut -d' ' -f1)
    [ "$got" = "$want" ] || die "checksum mismatch for $name (got $got): delete it and run again, or check the mirror"
}

# fetch_debian PACKAGE VERSION: the source package's files into $WORK/src, each
# verified; a file the mirror lacks is taken from $SOURCES.
fetch_debian() {
    local pkg=$1 version=$2
    local files
    files=$(awk -v p="${pkg}_" 'index($2, p) == 1 {print $2}' "$HERE/SHA256SUMS")
    local missing=0 f
    for f in $files; do [ -f "$WORK/src/$f" ] || missing=1; done
    if [ $missing -eq 1 ]; then
        apt_setup
        # shellcheck disable=SC2046
        (cd "$WORK/src" && apt-get $(apt_opts) source --download-only -qq "$pkg=$version" > "$WORK/src/$pkg.fetch.log" 2>&1) || true
        for f in $files; do
            [ -f "$WORK/src/$f" ] || [ ! -f "$SOURCES/$f" ] || cp "$SOURCES/$f" "$WORK/src/$f"
            [ -f "$WORK/src/$f" ] || die "cannot fetch $f ($pkg $version): put it into VELMORA_SOURCES ($SOURCES)"
        done
    fi
    for f in $files; do verify "$WORK/src/$f"; done
}

# unpack_debian PACKAGE VERSION DIR: the source with Debian's patches applied.
unpack_debian() {
    local pkg=$1 version=$2 dir=$3
    rm -rf "$dir"
    dpkg-source --no-check -x "$WORK/src/${pkg}_${version#*:}.dsc" "$dir" > "$dir.unpack.log" 2>&1 \
        || die "unpacking $pkg failed (see $dir.unpack.log)"
}

cmake_cross() {
    cmake -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$TRIPLE.cmake" -DVELMORA_WIN64_PREFIX="$STAGE" \
          -DCMAKE_INSTALL_PREFIX="$STAGE" -DCMAKE_BUILD_TYPE=Release "$@"
}

# step NAME: true when NAME still has to be built; its log is $WORK/NAME.log.
step() {
    [ -f "$WORK/$1.done" ] && { log "$1: already built"; return 1; }
    log "$1: building (log: $WORK/$1.log)"
    STEP_START=$(date +%s)
    return 0
}
step_done() {
    echo "$1 $(($(date +%s) - STEP_START)) s" | tee -a "$WORK/times"
    touch "$WORK/$1.done"
}
failed() { die "building $1 failed (see $WORK/$1.log); run again to resume"; }

if step hidapi; then
    fetch_debian hidapi 0.13.1-1
    unpack_debian hidapi 0.13.1-1 "$WORK/hidapi"
    { cmake_cross -S "$WORK/hidapi" -B "$WORK/hidapi-build" -DBUILD_SHARED_LIBS=ON -DHIDAPI_WITH_TESTS=OFF \
          && cmake --build "$WORK/hidapi-build" -j "$JOBS" && cmake --install "$WORK/hidapi-build"; } \
        > "$WORK/hidapi.log" 2>&1 || failed hidapi
    step_done hidapi
fi

if step libjpeg-turbo; then
    fetch_debian libjpeg-turbo 1:2.1.5-2
    unpack_debian libjpeg-turbo 1:2.1.5-2 "$WORK/libjpeg-turbo"
    { cmake_cross -S "$WORK/libjpeg-turbo" -B "$WORK/libjpeg-turbo-build" -DENABLE_STATIC=OFF \
          -DWITH_TURBOJPEG=OFF -DCMAKE_INSTALL_DOCDIR="$STAGE/share/doc/libjpeg-turbo" \
          && cmake --build "$WORK/libjpeg-turbo-build" -j "$JOBS" && cmake --install "$WORK/libjpeg-turbo-build"; } \
        > "$WORK/libjpeg-turbo.log" 2>&1 || failed libjpeg-turbo
    rm -rf "$STAGE/bin/"{cjpeg,djpeg,jpegtran,rdjpgcom,wrjpgcom,tjbench}.exe
    step_done libjpeg-turbo
fi

# Only what we use: no D-Bus, OpenGL, SQL, XML, Concurrent or printing; tablet
# events out (Debian's source drops the header the windows plugin needs for them).
if step qtbase; then
    fetch_debian qtbase-opensource-src 5.15.8+dfsg-11+deb12u3
    unpack_debian qtbase-opensource-src 5.15.8+dfsg-11+deb12u3 "$WORK/qtbase-src"
    rm -rf "$WORK/qtbase-build"
    mkdir -p "$WORK/qtbase-build"
    ( cd "$WORK/qtbase-build" \
        && "$WORK/qtbase-src/configure" -xplatform win32-g++ -device-option CROSS_COMPILE=$TRIPLE- \
            -prefix "$STAGE" -opensource -confirm-license -release -shared \
            -nomake examples -nomake tests -no-compile-examples \
            -no-dbus -no-opengl -no-feature-tabletevent -no-feature-sql -no-feature-xml \
            -no-feature-concurrent -no-feature-printer \
            -no-openssl -no-icu -no-fontconfig -no-direct2d -no-vulkan \
            -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -no-gif \
        && make -j "$JOBS" && make install ) > "$WORK/qtbase.log" 2>&1 || failed qtbase
    step_done qtbase
fi

# Qt SerialPort from the tag's archive: its forwarding headers come from qtbase's
# syncqt, written into the source tree where a release tarball has them (qmake
# looks for them there in a build outside git).
if step qtserialport; then
    tarball=qtserialport-5.15.8-lts-lgpl.tar.gz
    [ -f "$SOURCES/$tarball" ] || die "$tarball not found in $SOURCES: set VELMORA_SOURCES to the folder that holds it"
    verify "$SOURCES/$tarball"
    rm -rf "$WORK/qtserialport" "$WORK/qtserialport-build"
    mkdir -p "$WORK/qtserialport" "$WORK/qtserialport-build"
    tar -xzf "$SOURCES/$tarball" -C "$WORK/qtserialport" --strip-components=1
    ( cd "$WORK/qtserialport-build" \
        && perl "$STAGE/bin/syncqt.pl" -module QtSerialPort -version 5.15.8 \
            -outdir "$WORK/qtserialport" "$WORK/qtserialport" \
        && "$STAGE/bin/qmake" "$WORK/qtserialport" && make -j "$JOBS" && make install ) \
        > "$WORK/qtserialport.log" 2>&1 || failed qtserialport
    step_done qtserialport
fi

# What names the prefix in text (pkg-config, CMake and qmake files) names where it
# will be; qmake itself is told by its qt.conf.
grep -rlIF "$STAGE" "$STAGE" | while IFS= read -r f; do sed -i "s|$STAGE|$PREFIX|g" "$f"; done
printf '[Paths]\nPrefix=..\n' > "$STAGE/bin/qt.conf"
recipe_id > "$STAGE/.velmora-deps"
cp "$WORK/times" "$STAGE/.velmora-deps-times"
rm -rf "$PREFIX.old"
[ ! -e "$PREFIX" ] || mv "$PREFIX" "$PREFIX.old"
mv "$STAGE" "$PREFIX"
rm -rf "$PREFIX.old" "$WORK"
log "Windows dependencies built into $PREFIX: $(tr '\n' ';' < "$PREFIX/.velmora-deps-times")"
