#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian package as a user gets it: built from this build tree, checked for what it holds
# and depends on and by lintian (no error, no warning), unpacked into a scratch root (dpkg -x)
# and started from there, where the programs must find their models under their own prefix.
# Then `palmcue --quit` ends it.
#   package-test.sh BUILD_DIR CACHE_DIR
set -euo pipefail
build=$1
cache=$2

for tool in cpack dpkg-deb dpkg-shlibdeps appstreamcli desktop-file-validate lintian; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d /tmp/palmcue-package.XXXXXX)
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack did not build the package"; }
debs=("$work"/out/palmcue_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "no single palmcue_*.deb in $work/out"
deb=${debs[0]}

# Depends: shared libraries from dpkg-shlibdeps, and what is loaded by name.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libqt6quick6 libxnnpack0 qml6-module-qtquick-controls \
    gstreamer1.0-plugins-good libqt6svg6 fonts-noto-color-emoji; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# Lintian's tags of the info level are shown, not failed on.
lintian --display-info --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

root=$work/root
dpkg-deb -x "$deb" "$root"
prefix=$root/usr
for file in bin/palmcue bin/palmcue-analyze share/palmcue/models/palm_detection_full.tflite \
    share/palmcue/models/hand_landmark_full.tflite share/man/man1/palmcue.1.gz \
    share/man/man1/palmcue-analyze.1.gz share/doc/palmcue/copyright share/doc/palmcue/changelog.gz \
    share/applications/io.github.palmcue.Palmcue.desktop \
    share/icons/hicolor/scalable/apps/io.github.palmcue.Palmcue.svg \
    share/metainfo/io.github.palmcue.Palmcue.metainfo.xml; do
    [[ -f $prefix/$file ]] || fail "the package does not install $file"
done
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.palmcue.Palmcue.metainfo.xml"
desktop-file-validate "$prefix/share/applications/io.github.palmcue.Palmcue.desktop"
grep -q '^Exec=palmcue --quit$' "$prefix/share/applications/io.github.palmcue.Palmcue.desktop" ||
    fail "the desktop entry has no quit action"

# The analyser loads the models under its prefix before it finds that the file is missing
# (status 1; 2 when the models cannot be loaded).
status=0
env -u PALMCUE_MODEL_DIR "$prefix/bin/palmcue-analyze" "$work/missing.png" 2>"$work/analyze.txt" ||
    status=$?
[[ $status -eq 1 ]] || { cat "$work/analyze.txt" >&2; fail "palmcue-analyze ended with $status"; }

# The installed program, offscreen, with folders of its own and no hint where the models are.
mkdir -p -m 0700 "$work/runtime" "$work/tmp"
mkdir -p "$work/data/applications" "$work/config"
unset PALMCUE_MODEL_DIR
export QT_QPA_PLATFORM=offscreen PALMCUE_REPORT_STARTUP=1
export XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work/tmp
export XDG_CACHE_HOME=$cache/cache XDG_CONFIG_HOME=$work/config
export XDG_DATA_HOME=$work/data XDG_DATA_DIRS=$work/data
"$prefix/bin/palmcue" >"$work/report.txt" 2>"$work/errors.txt" &
app_pid=$!
expected="hand models loaded in [0-9]+ ms from $prefix/share/palmcue/models"
for _ in $(seq 600); do
    grep -Eq "$expected" "$work/report.txt" && grep -q "first frame" "$work/report.txt" && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
cat "$work/report.txt"
grep -Eq "$expected" "$work/report.txt" ||
    { cat "$work/errors.txt" >&2; fail "the installed program did not load its own models"; }

"$prefix/bin/palmcue" --quit || fail "palmcue --quit did not end the installed program"
status=0
wait "$app_pid" || status=$?
app_pid=
[[ $status -eq 0 ]] || { cat "$work/errors.txt" >&2; fail "the installed program ended with $status"; }
echo "the package installs and runs: $(basename "$deb")"
