#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# fetch-models.sh DEST_DIR [CACHE_DIR]
# Installs the MediaPipe hand models into DEST_DIR: hand_landmark_full.tflite straight from the
# npm package @mediapipe/hands, palm_detection_full.tflite cut out of the package's packed asset
# bundle at the byte range its loader script lists. Both are checked against known SHA-256
# sums. Quick and silent when DEST_DIR already holds the right files.
set -eu

VERSION=0.4.1675469240
PACKAGE="@mediapipe/hands@$VERSION"
PALM=palm_detection_full.tflite
LANDMARK=hand_landmark_full.tflite
PALM_SHA256=2f25e740121983f68ffc05f99991d524dc0ea812134f6316a26125816941ee85
LANDMARK_SHA256=8c026882c9ec059ce0f8e75266bee5a9a23c341a40e0000df755374d3d1b9b68

fail() {
    echo "fetch-models.sh: $*" >&2
    exit 1
}

[ $# -ge 1 ] || fail "usage: fetch-models.sh DEST_DIR [CACHE_DIR]"
DEST=$1
CACHE=${2:-${XDG_CACHE_HOME:-$HOME/.cache}/palmcue}

sha_ok() { # file expected-sum
    [ -f "$1" ] && [ "$(sha256sum "$1" | cut -d' ' -f1)" = "$2" ]
}

if sha_ok "$DEST/$PALM" "$PALM_SHA256" && sha_ok "$DEST/$LANDMARK" "$LANDMARK_SHA256"; then
    exit 0
fi

command -v sha256sum >/dev/null || fail "sha256sum is not installed"
mkdir -p "$DEST" "$CACHE" || fail "cannot create $DEST or $CACHE"

TARBALL="$CACHE/mediapipe-hands-$VERSION.tgz"
if [ ! -s "$TARBALL" ]; then
    command -v npm >/dev/null || fail "npm is not installed (apt-get install npm)"
    echo "fetch-models.sh: downloading $PACKAGE" >&2
    (cd "$CACHE" && npm pack --silent "$PACKAGE" >/dev/null) ||
        fail "npm pack $PACKAGE failed (no network or no registry access?)"
    [ -s "$TARBALL" ] || fail "npm pack did not produce $TARBALL"
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/palmcue-models.XXXXXX") || fail "cannot create a temporary folder"
trap 'rm -rf "$WORK"' EXIT INT TERM
tar -xzf "$TARBALL" -C "$WORK" package/$LANDMARK package/hands_solution_packed_assets.data \
    package/hands_solution_packed_assets_loader.js ||
    fail "$TARBALL is damaged or lacks the expected files (delete it to fetch it again)"

# The loader lists each bundled file as {"filename": "/path/name", "start": N, "end": M}.
LOADER="$WORK/package/hands_solution_packed_assets_loader.js"
RANGE=$(tr -d ' \n' <"$LOADER" | tr '{}' '\n\n' | grep "\"filename\":\"[^\"]*/$PALM\"" |
    sed -n 's/.*"start":\([0-9]*\),"end":\([0-9]*\).*/\1 \2/p' | head -n 1)
[ -n "$RANGE" ] || fail "$PALM is not listed in $(basename "$LOADER")"
START=${RANGE% *}
END=${RANGE#* }
[ "$END" -gt "$START" ] || fail "bad byte range $START..$END for $PALM"

tail -c +$((START + 1)) "$WORK/package/hands_solution_packed_assets.data" |
    head -c $((END - START)) >"$WORK/$PALM"
cp "$WORK/package/$LANDMARK" "$WORK/$LANDMARK"

sha_ok "$WORK/$PALM" "$PALM_SHA256" ||
    fail "$PALM (bytes $START..$END of the bundle) has the wrong SHA-256"
sha_ok "$WORK/$LANDMARK" "$LANDMARK_SHA256" || fail "$LANDMARK has the wrong SHA-256"

chmod 0644 "$WORK/$PALM" "$WORK/$LANDMARK"
cp "$WORK/$PALM" "$WORK/$LANDMARK" "$DEST/" || fail "cannot write to $DEST"
echo "fetch-models.sh: hand models installed in $DEST" >&2
