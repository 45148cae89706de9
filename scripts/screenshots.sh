#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Pictures of the main window for the documentation, taken from the built program under Xvfb
# with a hand photo as the camera. Builds nothing.
#
# usage: scripts/screenshots.sh [BUILD_DIR]      (default: build)
# Needs: Xvfb, xdotool, ImageMagick's import; the photos in ../shared/hands (or
# $PALMCUE_SHARED_DIR/hands) and the hand models of the build. Writes docs/screenshots/*.png.
# As root with unshare and setpriv, it also takes the camera-permission screen (a refused
# /dev/video0 in a private mount namespace, the program run as "nobody").
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
app=$build/Palmcue/PalmcueApp/palmcue
hands=${PALMCUE_SHARED_DIR:-$repo/../shared}/hands
out=$repo/docs/screenshots
photo=$hands/one_hagrid_01.jpg

die() { echo "screenshots: $*" >&2; exit 1; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || die "$tool is not installed"
done
[[ -x $app ]] || die "no program at $app (build the palmcue target first)"
[[ -f $photo ]] || die "no photo at $photo"
mkdir -p "$out"

work=$(mktemp -d)
chmod 755 "$work"
xvfb_pid=
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own; Xvfb writes the number it took to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(cat "$work/display")

# Folders of our own, and a "Messages" application (the index finger's mapping) that does
# nothing, so that launches show in the log.
mkdir -p "$work/runtime" "$work/cache" "$work/config" "$work/data/applications"
chmod 700 "$work/runtime"
cat >"$work/data/applications/messages.desktop" <<'ENTRY'
[Desktop Entry]
Type=Application
Name=Messages
Exec=true
ENTRY
export XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
export XDG_DATA_HOME=$work/data
unset QT_QPA_PLATFORM

window=
wait_window() {
    window=
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name '^Palm&Cue$' 2>/dev/null | head -1) || true
        [[ -n $window ]] && break
        sleep 0.1
    done
    [[ -n $window ]] || die "the window did not appear"
    sleep 1.5 # the first frames under software OpenGL
}
shot() {
    import -window "$window" "$out/$1.png"
    echo "wrote $out/$1.png"
}
click() { # x y, in window coordinates
    xdotool mousemove --window "$window" "$1" "$2" click 1
}
stop_app() {
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
}

# The permission screen: video nodes exist, but none may be opened.
if [[ $(id -u) == 0 ]] && command -v unshare >/dev/null && command -v setpriv >/dev/null; then
    chown -R nobody "$work/runtime" "$work/cache" "$work/config"
    unshare --mount --propagation private sh -c '
        set -e
        mkdir "$1/dev"
        mount --rbind /dev "$1/dev"
        mount -t tmpfs -o mode=755 tmpfs /dev
        for node in null zero random urandom tty; do
            touch "/dev/$node"
            mount --bind "$1/dev/$node" "/dev/$node"
        done
        mkdir /dev/shm && mount --bind "$1/dev/shm" /dev/shm
        touch /dev/video0 && chmod 000 /dev/video0
        exec setpriv --reuid=nobody --regid=nogroup --clear-groups "$2"
    ' sh "$work" "$app" 2>"$work/denied.log" &
    app_pid=$!
    wait_window
    shot permission
    stop_app
    chown -R "$(id -u)" "$work/runtime" "$work/cache" "$work/config"
    rm -f "$work/runtime"/palmcue-*
else
    echo "screenshots: skipping the permission screen (needs root, unshare and setpriv)"
fi

"$app" --camera-file "$photo" 2>"$work/app.log" &
app_pid=$!
wait_window
width=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')

shot idle

# Start/Stop sits at the right end of the header bar.
click $((width - 57)) 25
sleep 1.6
shot live

# The chevron of the index finger's row in the mapping card opens the picker.
click $((width - 54)) 506
sleep 0.8
shot picker
xdotool key --window "$window" Escape
sleep 0.3

# Let a few launches happen (one per cooldown), then scroll down to the log.
sleep 7
xdotool mousemove --window "$window" 310 500
for _ in $(seq 12); do xdotool click 5; sleep 0.05; done
sleep 0.8
shot log

stop_app
echo "screenshots: done"
