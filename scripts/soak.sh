#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Soak runs of the whole program on a looping 1280x720, 30 fps video of hand photos and empty
# frames.
#   scripts/soak.sh [MINUTES]              (default 10; needs the build-asan tree of `make test`)
#     Under AddressSanitizer, offscreen: a sample every 30 s (CPU share, resident memory, open
#     files, threads) and LeakSanitizer's verdict at the end.
#   scripts/soak.sh --on-screen [MINUTES]  (default 30; the plain build, Xvfb)
#     As people see it: the window shown on an X display, drawn with the scene graph the
#     program chooses there, Stop and Start every minute. A sample every minute; fails when
#     resident memory at the end is more than 10 % above its value after the first minute.
set -euo pipefail
cd "$(dirname "$0")/.."
on_screen=0
if [[ ${1:-} == --on-screen ]]; then
    on_screen=1
    shift
fi
minutes=${1:-$((on_screen ? 30 : 10))}
build=$([[ $on_screen == 1 ]] && echo build || echo build-asan)
cmake --build "$build" --target palmcue-bench-app >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/palmcue-soak.XXXXXX")
xvfb_pid=
cleanup() {
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
. scripts/run-sandbox.sh "$work"
export PALMCUE_MODEL_DIR=$PWD/build/models
scripts/make-test-video.sh "$work/hands.mp4"

if ((on_screen)); then
    # A display of our own; Xvfb writes the number it took to fd 3.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
    [[ -s $work/display ]] || { echo "soak.sh: Xvfb did not start" >&2; exit 1; }
    echo "soak.sh: load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
    DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb \
        "$build/bench/palmcue-bench-app" --camera-file "$work/hands.mp4" \
        --seconds $((minutes * 60)) --every 60 --restart-every 60 --summary \
        2>"$work/stderr" | tee "$work/out"
    # Resident memory (column 3) after the first minute and at the end.
    read -r first last < <(awk '$1 ~ /^[0-9]+$/ { if (!f) f = $3; l = $3 } END { print f, l }' \
        "$work/out")
    echo "soak.sh: resident memory ${first} MiB after the first minute, ${last} MiB at the end"
    if awk -v f="$first" -v l="$last" 'BEGIN { exit !(l > 1.1 * f) }'; then
        echo "soak.sh: resident memory grew by more than 10 %"
        exit 1
    fi
    exit 0
fi

status=0
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
    "$build/bench/palmcue-bench-app" --camera-file "$work/hands.mp4" \
    --seconds $((minutes * 60)) --every 30 2>"$work/stderr" || status=$?
# Memory that only third-party libraries keep is suppressed in cmake/SanitizerDefaults.cpp and
# never reported, so every report left is ours: AddressSanitizer and LeakSanitizer errors and
# UndefinedBehaviorSanitizer's runtime errors alike.
if grep -qE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: [A-Za-z]+Sanitizer" \
    "$work/stderr"; then
    cat "$work/stderr"
    echo "soak.sh: sanitizer reports above"
    exit 1
fi
if ((status != 0)); then
    cat "$work/stderr"
    echo "soak.sh: the program ended with status $status"
    exit 1
fi
echo "soak.sh: exit status 0, no sanitizer reports"
