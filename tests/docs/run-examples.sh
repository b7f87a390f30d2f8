#!/usr/bin/env bash
# Runs every shell example of README.md and docs/*.md as a reader would paste it,
# and checks what the document says of it: every command exits 0, and each line
# it says a command prints (a trailing comment "# == ...") is printed.
#
#   run-examples.sh SOURCE_DIR BUILD_DIR [--package PREFIX]
#
# Each ```sh fence carries a marker on the line before it:
#   <!-- example: NAME -->               run it
#   <!-- example: NAME continues -->     run it in the same shell as the example before
#   <!-- example: NAME illustrative -->  not meant to run as written; skipped by name
#   <!-- example: NAME package -->       needs the installed package: run by
#                                        ./run.sh package (with --package PREFIX,
#                                        /opt/velmora standing for PREFIX)
#   <!-- example: FILE file -->          before any other fence: its text is the file
#                                        FILE that the examples after it use
# A shell example without a marker fails the test: each new one is either run or
# said to be illustrative.
#
# Each document's examples run in a directory of their own, where build/ is
# BUILD_DIR, each in a network namespace of its own with loopback only (its
# addresses and ports collide with nothing), in a process group that is ended with
# everything it started. In the example, "cmd &" waits until cmd has printed its
# first line (where a simulated device says where it is); /dev/pts/N stands for
# the pseudo-terminal that a device started so printed.
# Exit status: 0 when every example ran as stated, 1 otherwise, 77 when no network
# namespace can be made (CTest reports the suite as skipped).
set -uo pipefail

SOURCE=$(cd "$1" && pwd)
BUILD=$(cd "$2" && pwd)
PREFIX=
if [ "${3:-}" = --package ]; then PREFIX=$4; fi
# A whole example, devices and all, ends well within this; a stuck one is ended.
LIMIT_S=${EXAMPLE_LIMIT_S:-90}

if ! unshare -n true 2> /dev/null; then
    echo "SKIP   : cannot make a network namespace (unshare -n needs root)"
    exit 77
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
ran=0

# What every example's shell starts with.
prelude() {
    cat <<'EOF'
set -e
# errexit reaches the shells an example starts itself (the broadcast recipe's).
export SHELLOPTS
# Root already, inside the test's own namespace.
sudo() { "$@"; }
# Waits until a command started with & has printed its first line.
doc_ready() {
    local tries=0
    until [ -s "$1" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ]; then echo "doc test: $1 printed nothing in 30 s" >&2; return 1; fi
        sleep 0.1
    done
    local first
    first=$(head -n 1 "$1")
    case $first in /dev/pts/*) DOC_PTY=$first ;; esac
}
export -f doc_ready
EOF
}

# Turns an example into the script that runs it: "cmd &" keeps cmd's output aside
# and waits for its first line; /dev/pts/N is the device's pseudo-terminal.
transform() {
    local n=0 line command
    while IFS= read -r line; do
        command=$(printf '%s' "$line" | sed -E 's/[[:space:]]+#.*$//')
        if [[ $command =~ \&[[:space:]]*$ ]]; then
            n=$((n + 1))
            printf '%s > .background-%d.out &\ndoc_ready .background-%d.out\n' \
                "${command%&*}" "$n" "$n"
        else
            printf '%s\n' "${line//\/dev\/pts\/N/\$DOC_PTY}"
        fi
    done
}

# run_group DIR NAME SCRIPT: runs one example (or several that continue one another).
run_group() {
    local dir=$1 name=$2 body=$3
    local script="$WORK/$name.sh" out="$WORK/$name.out" err="$WORK/$name.err"
    { prelude; printf '%s\n' "$body" | transform; } > "$script"
    [ -z "$PREFIX" ] || sed -i "s|/opt/velmora|$PREFIX|g" "$script"
    ran=$((ran + 1))
    # setsid: the example's process group is its shell's pid, $!.
    setsid unshare -n bash -c 'cd "$0" && ip link set lo up && ip route add default dev lo && exec bash -s' \
        "$dir" < "$script" > "$out" 2> "$err" &
    local pid=$! ticks=0 status timedOut=0
    while kill -0 "$pid" 2> /dev/null; do
        ticks=$((ticks + 1))
        if [ $ticks -gt $((LIMIT_S * 10)) ]; then timedOut=1; break; fi
        sleep 0.1
    done
    # Everything the example started (its devices) is in its process group.
    kill -KILL -- "-$pid" 2> /dev/null
    wait "$pid"
    status=$?
    local why=
    if [ $timedOut -eq 1 ]; then
        why="did not end within $LIMIT_S s"
    elif [ $status -ne 0 ]; then
        why="exit status $status"
    else
        local expected
        while IFS= read -r expected; do
            grep -qxF -- "$expected" "$out" || { why="did not print \"$expected\""; break; }
        done < <(printf '%s\n' "$body" | sed -nE 's/.*[[:space:]]#[[:space:]]+(==.*[^[:space:]])[[:space:]]*$/\1/p')
    fi
    if [ -z "$why" ]; then
        echo "PASS   : $name"
        return
    fi
    failures=$((failures + 1))
    echo "FAIL!  : $name: $why"
    echo "--- the example"; printf '%s\n' "$body"
    echo "--- its output"; tail -n 40 "$out"
    echo "--- its errors"; tail -n 40 "$err"
}

# run_document FILE: every fence of one document, in order.
run_document() {
    local doc=$1 relative=${1#"$SOURCE"/}
    local dir="$WORK/${relative//\//_}.d"
    mkdir -p "$dir"
    ln -s "$BUILD" "$dir/build"
    # The pkg-config recipe builds "main.cpp": the example host outside the tree.
    cp "$SOURCE/examples/minimal-host/main.cpp" "$dir/main.cpp"
    local line number=0 marker= markerLine=0 inFence=0 fenceLang= fenceStart=0 fence=
    local groupName= groupBody=
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        if [ $inFence -eq 1 ]; then
            if [[ $line =~ ^\`\`\`[[:space:]]*$ ]]; then
                inFence=0
                handle_fence "$relative" "$fenceStart" "$fenceLang" "$marker" "$fence" "$dir"
                marker=
            else
                fence+="$line"$'\n'
            fi
        elif [[ $line =~ ^\<\!--\ example:\ (.*)\ --\>$ ]]; then
            marker=${BASH_REMATCH[1]}
            markerLine=$number
        elif [[ $line =~ ^\`\`\`(.*)$ ]]; then
            inFence=1
            fenceLang=${BASH_REMATCH[1]}
            fenceStart=$number
            fence=
            [ $markerLine -eq $((number - 1)) ] || marker=
        fi
    done < "$doc"
    [ -z "$groupName" ] || run_group "$dir" "$groupName" "$groupBody"
}

# handle_fence DOC LINE LANG MARKER TEXT DIR
handle_fence() {
    local doc=$1 at=$2 lang=$3 marker=$4 text=$5 dir=$6
    local name kind
    read -r name kind <<< "$marker"
    if [ "$kind" = file ]; then
        printf '%s' "$text" > "$dir/$name"
        return
    fi
    [ "$lang" = sh ] || return 0
    if [ -z "$name" ]; then
        failures=$((failures + 1))
        echo "FAIL!  : $doc:$at: a shell example without <!-- example: NAME --> on the line before it"
        return
    fi
    # The package run runs only what needs the package; CTest runs the rest.
    if [ -n "$PREFIX" ] && [ "$kind" != package ] && [ "$kind" != continues ]; then
        [ -z "$groupName" ] || run_group "$dir" "$groupName" "$groupBody"
        groupName=
        groupBody=
        return
    fi
    case $kind in
        illustrative)
            echo "SKIP   : $name (illustrative)"
            return ;;
        package)
            if [ -z "$PREFIX" ]; then
                echo "SKIP   : $name (needs the installed package: ./run.sh package runs it)"
                return
            fi ;;
        continues)
            [ -n "$groupName" ] || return 0
            groupName+="+$name"
            groupBody+=$text
            return ;;
        "") ;;
        *)
            failures=$((failures + 1))
            echo "FAIL!  : $doc:$at: example $name: unknown kind \"$kind\""
            return ;;
    esac
    [ -z "$groupName" ] || run_group "$dir" "$groupName" "$groupBody"
    groupName=$name
    groupBody=$text
}

docs=("$SOURCE/README.md" "$SOURCE"/docs/*.md)
for doc in "${docs[@]}"; do
    echo "== ${doc#"$SOURCE"/}"
    run_document "$doc"
done
echo "== $ran examples run, $failures failed"
[ $failures -eq 0 ]
