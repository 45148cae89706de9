#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Makes a 1280x720, 30 fps H.264 video of hand photos from ../shared/hands, each shown for two
# seconds and followed by two seconds of an empty frame: the input of the soak and CPU runs.
#   scripts/make-test-video.sh OUT.mp4
set -euo pipefail
out=${1:?usage: make-test-video.sh OUT.mp4}
hands="$(cd "$(dirname "$0")/.." && pwd)/../shared/hands"
[[ -d $hands ]] || { echo "make-test-video.sh: $hands is not there" >&2; exit 1; }
photos=(one_hagrid_01.jpg peace_hagrid_01.jpg gr_pointing_up.jpg fist_hagrid_01.jpg like_hagrid_01.jpg)

inputs=()
filters=""
n=0
for photo in "${photos[@]}"; do
    inputs+=(-loop 1 -t 2 -i "$hands/$photo")
    filters+="[$n:v]scale=1280:720:force_original_aspect_ratio=decrease,pad=1280:720:(ow-iw)/2:(oh-ih)/2,setsar=1,fps=30,format=yuv420p[v$n];"
    n=$((n + 1))
done
filters+="color=c=0x303030:s=1280x720:r=30:d=2,format=yuv420p,split=${#photos[@]}"
for ((i = 0; i < ${#photos[@]}; i++)); do filters+="[e$i]"; done
filters+=";"
for ((i = 0; i < ${#photos[@]}; i++)); do filters+="[v$i][e$i]"; done
filters+="concat=n=$((2 * ${#photos[@]})):v=1:a=0[out]"
ffmpeg -loglevel error -y "${inputs[@]}" -filter_complex "$filters" -map "[out]" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$out"
