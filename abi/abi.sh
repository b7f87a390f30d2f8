#!/usr/bin/env bash
# The libraries' ABI against the description kept beside this script.
#   abi.sh check PREFIX   compares the libraries installed in PREFIX with it
#   abi.sh update PREFIX  writes it anew from the libraries installed in PREFIX
# What hosts compile against is the contract: the public classes' size, layout,
# virtual tables and functions. A change to any of it fails the check. A change
# that only adds (a new non-virtual function, say) is compatible: update the
# description in the commit that makes it. A change that breaks it is deliberate
# only with the major version, which is the soname, raised in the same commit.
# What the libraries keep to themselves (internal.suppr) is left out.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
LIBRARIES=(Porvane Quillet Module)

library_file() {
    local prefix=$1 library=$2 file
    file=$(find "$prefix" -name "lib$library.so.*" -type f | sort | head -n 1)
    [ -n "$file" ] || { echo "abi: lib$library.so is not installed in $prefix" >&2; exit 1; }
    echo "$file"
}

soname_of() {
    objdump -p "$1" | awk '/SONAME/ { print $2 }'
}

# The translation units keep their paths; relative to the tree, so that the
# description does not depend on where the tree was built.
describe() {
    local root
    root=$(cd "$here/.." && pwd)
    abidw --no-show-locs --no-corpus-path --no-comp-dir-path "$1" | sed "s|path='$root/|path='|g"
}

check() {
    local prefix=$1 library file description failed=0 rc
    for library in "${LIBRARIES[@]}"; do
        file=$(library_file "$prefix" "$library")
        description="$here/lib$library.abi"
        [ -f "$description" ] || { echo "abi: no description of lib$library: run './run.sh abi-update'" >&2; exit 1; }
        if ! grep -q "soname='$(soname_of "$file")'" "$description"; then
            echo "abi: lib$library's soname is now $(soname_of "$file"); the description is of another:" \
                 "run './run.sh abi-update' in the commit that raises it" >&2
            failed=1
            continue
        fi
        rc=0
        abidiff --no-added-syms --no-unreferenced-symbols --suppressions "$here/internal.suppr" \
            "$description" "$file" > "$prefix/abi-$library.txt" || rc=$?
        if [ $rc -ne 0 ]; then
            cat "$prefix/abi-$library.txt" >&2
            echo "abi: lib$library no longer matches abi/lib$library.abi (abidiff status $rc):" \
                 "hosts built against it would break. If the change is deliberate and only adds," \
                 "run './run.sh abi-update'; if it breaks, also raise the major version (the soname)." >&2
            failed=1
        fi
    done
    [ $failed -eq 0 ] && echo "abi: ${LIBRARIES[*]} match their descriptions"
    return $failed
}

update() {
    local prefix=$1 library
    for library in "${LIBRARIES[@]}"; do
        describe "$(library_file "$prefix" "$library")" > "$here/lib$library.abi"
    done
    echo "abi: described ${LIBRARIES[*]} in abi/"
}

case "${1:-}" in
    check) check "$2" ;;
    update) update "$2" ;;
    *) echo "usage: $0 {check|update} PREFIX" >&2; exit 2 ;;
esac
