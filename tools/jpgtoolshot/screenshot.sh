#!/usr/bin/env bash
# Pictures of the picture tool's window for the documentation: runs the window under
# Xvfb with a few generated pictures and logos imported, once per tab.
# Usage: tools/jpgtoolshot/screenshot.sh [build dir] [output dir]
# Needs xvfb (xvfb-run, xauth), imagemagick and fonts-dejavu-core.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
out=${2:-docs}
helper=$build/tools/jpgtoolshot/jpgtool_screenshot
[ -x "$helper" ] || { echo "build $helper first" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Pictures of several shapes, so the tiles show fitting with bars.
convert -size 1920x1080 -seed 3 plasma:steelblue-orange "$tmp/Harbour at dusk.jpg"
convert -size 4000x3000 gradient:darkgreen-khaki -swirl 120 "$tmp/Park 4x3.jpg"
convert -size 1000x1000 -seed 5 plasma:purple-yellow "$tmp/square.png"
convert -size 1080x1920 gradient:navy-skyblue "$tmp/portrait.bmp"
convert -size 6000x4000 -seed 9 plasma:firebrick-gold "$tmp/Camera 6000x4000.jpg"
convert -size 2560x1080 gradient:teal-white -rotate 90 -resize 2560x1080! "$tmp/wide.png"
for i in 1 2 3; do
    convert -size 480x540 xc:black -fill "hsl($((i * 90)),80%,55%)" \
        -draw "circle 240,230 240,80" -fill white -font DejaVu-Sans-Bold -pointsize 72 \
        -gravity south -annotate +0+40 "LOGO $i" "$tmp/logo$i.png"
done

pictures=(--picture "$tmp/Harbour at dusk.jpg" --picture "$tmp/Park 4x3.jpg"
          --picture "$tmp/square.png" --picture "$tmp/portrait.bmp"
          --picture "$tmp/Camera 6000x4000.jpg" --picture "$tmp/wide.png")
logos=(--logo "$tmp/logo1.png" --logo "$tmp/logo2.png" --logo "$tmp/logo3.png")

mkdir -p "$out"
for tab in 0 1; do
    name=jpgtool.png
    [ "$tab" -eq 1 ] && name=jpgtool-logo.png
    xvfb-run -a -s "-screen 0 1024x768x24" \
        "$helper" "${pictures[@]}" "${logos[@]}" --tab "$tab" --grab "$out/$name"
done
