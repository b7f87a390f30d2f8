#!/usr/bin/env bash
# Pictures of the console's window for the documentation: hostconsole runs a short
# script against the simulated device on each medium (a pseudo-terminal, UDP on
# 127.0.0.2, USB on the preloaded simulated HID bus) and saves its window once the
# script has ended, at 1600x900 (hostconsole-MEDIUM.png) and as on a laptop's
# 1366x768 screen (hostconsole-MEDIUM-1366x768.png), and on UDP at 1920x1080
# (hostconsole-udp-1920x1080.png). Offscreen: no display is needed.
# Usage: tools/console/screenshot.sh [build dir] [output dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
out=${2:-docs}
console=$build/tools/console/hostconsole
simdevice=$build/tools/simdevice/simdevice
simhid=$PWD/$build/tools/simhid/libsimhid.so
for f in "$console" "$simdevice" "$simhid"; do
    [ -e "$f" ] || { echo "build $f first" >&2; exit 1; }
done

tmp=$(mktemp -d)
devices=()
cleanup() {
    if [ ${#devices[@]} -gt 0 ]; then kill "${devices[@]}" 2> /dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

# The demonstration's commands (those of the medium from stdin), with a stretch of
# plain traffic for the chart: the given command, 71:00 and 77:21, twelve times.
# The devices ignore 0x42 once and 0x43 always, and answer 0x76 with what the
# reply rules drop.
script() {
    echo "71:00                                     # who is there"
    cat
    for i in $(seq 1 12); do
        printf '71:00\n%s\n77:21\n' "$1"
    done
    cat <<'EOF'
42:00 timeout=1500                        # ignored once, answered when sent again
43:00 timeout=300 expect=give-up          # never answered
76:00 expect=drop                         # dropped by the reply rules
71:00                                     # and the queue moves on
EOF
}
script e1:00 > "$tmp/serial.txt" <<'EOF'
e1:00                                     # read the settings: a 22-byte block
e0:01:00:10:00/000102030405060708090a0b0c0d0e0f   # write 16 bytes
8e:27                                     # a reply with a block
EOF
script f1:01:00:40:00 > "$tmp/udp.txt" <<'EOF'
f1:01:00:e8:03                            # a 1000-byte block in datagrams
e0:01:00:58:02/5a*600                     # 619 bytes, cut in two datagrams
EOF
script 71:00:01 > "$tmp/usb.txt" <<'EOF'
e0:01:00:58:00/5a*88                      # 107 bytes, two reports
EOF

faults=(--silent 42:1 --silent 43 --refused 76)
# Fresh devices for each size: the faults that strike once strike in every picture.
start_devices() {
    if [ ${#devices[@]} -gt 0 ]; then kill "${devices[@]}" 2> /dev/null || true; wait "${devices[@]}" 2> /dev/null || true; fi
    devices=()
    rm -f "$tmp/serial.out" "$tmp/udp.out"
    "$simdevice" "${faults[@]}" > "$tmp/serial.out" 2> /dev/null &
    devices+=($!)
    "$simdevice" "${faults[@]}" --udp 127.0.0.2:0 --block-datagrams 400 > "$tmp/udp.out" 2> /dev/null &
    devices+=($!)
    local tries=0
    until [ -s "$tmp/serial.out" ] && [ -s "$tmp/udp.out" ]; do
        tries=$((tries + 1))
        [ $tries -le 100 ] || { echo "the simulated devices did not start" >&2; exit 1; }
        sleep 0.1
    done
}

mkdir -p "$out"
# shot NAME SIZE [SUFFIX] COMMAND...
shot() {
    local name=$1 size=$2 suffix=$3
    shift 3
    QT_QPA_PLATFORM=offscreen "$@" --size "$size" --screenshot "$out/hostconsole-$name$suffix.png" \
        --save "$tmp/$name.jsonl" || { tail -n 1 "$tmp/$name.jsonl"; exit 1; }
    echo "saved $out/hostconsole-$name$suffix.png"
}
sizes=("1600x900 " "1366x768 -1366x768")
for s in "${sizes[@]}"; do
    read -r size suffix <<< "$s"
    start_devices
    shot serial "$size" "$suffix" "$console" --port "$(head -n 1 "$tmp/serial.out")" --script "$tmp/serial.txt"
    shot udp "$size" "$suffix" "$console" --udp "$(head -n 1 "$tmp/udp.out")" --script "$tmp/udp.txt"
    shot usb "$size" "$suffix" env LD_PRELOAD="$simhid" VELMORA_SIMHID="4c56:0105/silent=42:1/silent=43/refused=76" \
        "$console" --usb 4c56:0105 --script "$tmp/usb.txt"
done
# The largest screen it is made for, once, on one medium.
start_devices
shot udp 1920x1080 -1920x1080 "$console" --udp "$(head -n 1 "$tmp/udp.out")" --script "$tmp/udp.txt"
