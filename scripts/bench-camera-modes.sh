#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The camera modes of a typical laptop webcam, measured: prints a Markdown section for
# BENCHMARKS.md (scripts/bench.sh includes it).
#   scripts/bench-camera-modes.sh [BUILD_DIR] [SECONDS]
# - palmcue-bench-modes: MJPEG decoding and BGRA conversion per frame, and recognition of the
#   labelled photos shown at each mode's size;
# - the whole program (palmcue-bench-app) on the stand-in webcam offering one mode at a time,
#   showing a raised index finger, offscreen and on screen (Xvfb, Mesa's software GL), the modes
#   interleaved over two rounds so that a change in the machine's load touches them all alike.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-25}
hands=$PWD/../shared/hands
for tool in bench/palmcue-bench-modes bench/palmcue-bench-app; do
    [[ -x $build/$tool ]] || { echo "bench-camera-modes.sh: $build/$tool is not built" >&2; exit 1; }
done
[[ -d $hands ]] || { echo "bench-camera-modes.sh: $hands is not there" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/palmcue-modes.XXXXXX")
trap 'rm -rf "$work"' EXIT
. scripts/run-sandbox.sh "$work"
export GST_PLUGIN_PATH=$PWD/$build/tests/camera/standin/plugin GST_REGISTRY=$work/registry.bin
export PALMCUE_STANDIN_PICTURE=$hands/one_hagrid_01.jpg

modes=("YUY2:640x480@30" "YUY2:1280x720@10" "MJPEG:640x480@30" "MJPEG:1280x720@30"
    "MJPEG:1920x1080@30")
screens=(offscreen)
command -v xvfb-run >/dev/null && screens+=(xvfb)

echo "bench-camera-modes.sh: decoding and recognition per mode" >&2
costs=$("$build/bench/palmcue-bench-modes" --scales 1,0.5,0.35 2>&1)

run_app() { # MODE SCREEN: one summary line
    local args=(--seconds "$seconds" --every "$seconds" --summary)
    if [[ $2 == offscreen ]]; then
        PALMCUE_STANDIN_MODES=$1 QT_QPA_PLATFORM=offscreen "$build/bench/palmcue-bench-app" \
            "${args[@]}" 2>/dev/null
    else
        PALMCUE_STANDIN_MODES=$1 xvfb-run -a -s "-screen 0 1280x1024x24" \
            "$build/bench/palmcue-bench-app" "${args[@]}" 2>/dev/null
    fi | grep '^summary:' || echo "summary: file=$1 failed=1"
}

summaries=""
for round in 1 2; do
    for mode in "${modes[@]}"; do
        for screen in "${screens[@]}"; do
            echo "bench-camera-modes.sh: round $round, $mode, $screen" >&2
            summaries+="$screen $(run_app "$mode" "$screen")"$'\n'
        done
    done
done

# One row per run: the fields of its summary line.
table=$(awk '
    function v(k) { for (i = 3; i <= NF; ++i) { split($i, p, "="); if (p[1] == k) return p[2] } return "?" }
    /summary:/ {
        load = $0; sub(/.* load=/, "", load)
        printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", v("file"), $1, v("program_cpu%"),
            v("inference_cpu%"), v("ratio"), v("frames"), v("rss_MiB"), load
    }' <<<"$summaries")

echo "## Camera modes"
echo
echo "\`scripts/bench-camera-modes.sh\`: the modes of a typical laptop webcam, as the stand-in"
echo "webcam offers them (frames rendered once from one_hagrid_01.jpg, so that only the"
echo "program's own work counts)."
echo
echo "\`palmcue-bench-modes --scales 1,0.5,0.35\`: CPU per frame of MJPEG decoding (GStreamer's"
echo "jpegdec, which Qt's camera pipeline runs on every delivered frame) and of the conversion to"
echo "BGRA (analysed frames only); and the labelled photos of ../shared/hands rendered into each"
echo "mode by the stand-in's renderer, decoded and judged as the program does: single fingers"
echo "right out of those scored, and hands found, with the photo filling the frame's height"
echo "(scale 1) or a share of it (a hand further away)."
echo
echo '```'
echo "$costs"
echo '```'
echo
echo "\`palmcue-bench-app --seconds $seconds --every $seconds --summary\` on the stand-in webcam offering one"
echo "mode (\`PALMCUE_STANDIN_MODES\`), offscreen and under Xvfb (window shown, Mesa's software"
echo "GL), two interleaved rounds: the whole program's CPU (share of one core), the hand-pose"
echo "step's, their ratio, frames analysed, resident memory at the end."
echo
echo "| mode | screen | program CPU % | hand-pose CPU % | ratio | frames | RSS MiB | load average |"
echo "|---|---|---|---|---|---|---|---|"
echo "$table"
