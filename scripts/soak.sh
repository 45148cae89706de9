#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Soak run: the whole program under AddressSanitizer on a looping 1280x720, 30 fps video of
# hand photos and empty frames, for MINUTES minutes (default 10). Prints a sample every 30 s
# (CPU share, resident memory, open files, threads) and LeakSanitizer's verdict at the end.
#   scripts/soak.sh [MINUTES]      (needs the build-asan tree of `make test`)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
build=build-asan
cmake --build "$build" --target palmcue-bench-app >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/palmcue-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT
. scripts/run-sandbox.sh "$work"
export PALMCUE_MODEL_DIR=$PWD/build/models
scripts/make-test-video.sh "$work/hands.mp4"

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
