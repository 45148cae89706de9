#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fault runs: the whole program (offscreen) on a photo of a raised index finger while one thing
# at a time goes wrong. Each run prints its last samples; the program must keep running and say
# what is wrong in its status or debug line.
#   scripts/fault-runs.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
photo=$PWD/../shared/hands/one_hagrid_01.jpg
[[ -f $photo ]] || { echo "fault-runs.sh: $photo is not there" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/palmcue-faults.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/cache
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export XDG_DATA_DIRS=$work/none

entry() { # folder, Exec line
    mkdir -p "$1"
    printf '[Desktop Entry]\nType=Application\nName=Messages\nExec=%s\n' "$2" >"$1/messages.desktop"
}

run() { # title, camera file, seconds
    echo "== $1"
    "$build/bench/palmcue-bench-app" --camera-file "$2" --seconds "$3" --every 2 2>/dev/null |
        tail -n 2
    echo "   exit status ${PIPESTATUS[0]}"
}

export PALMCUE_MODEL_DIR=$PWD/$build/models XDG_DATA_HOME=$work/ok
entry "$work/ok/applications" true
scripts/make-test-video.sh "$work/hands.mp4"
(sleep 4 && rm -f "$work/hands.mp4") &
run "the camera file removed after 4 s" "$work/hands.mp4" 8
wait

mkdir -p "$work/garbage"
head -c 300000 /dev/urandom >"$work/garbage/palm_detection_full.tflite"
head -c 300000 /dev/urandom >"$work/garbage/hand_landmark_full.tflite"
PALMCUE_MODEL_DIR=$work/garbage run "both model files replaced by garbage" "$photo" 4

mkdir -p "$work/unreadable"
echo "not a folder" >"$work/unreadable/applications"
XDG_DATA_HOME=$work/unreadable run "the applications folder is not a readable folder" "$photo" 4

entry "$work/missing/applications" /nonexistent/bin/messages
XDG_DATA_HOME=$work/missing run "the desktop entry's program is missing" "$photo" 4

entry "$work/failing/applications" "/bin/sh -c 'exit 3'"
XDG_DATA_HOME=$work/failing run "the program exits at once with an error" "$photo" 4
