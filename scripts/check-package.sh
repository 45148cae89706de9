#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian package as a new user gets it: installed with apt into a fresh minimal Debian 12
# root (debootstrap, from this machine's Debian mirror), then started there as an ordinary
# user under Xvfb, on a photo of a raised index finger as the camera. Start is clicked as a
# user clicks it; the index finger's application, a "Messages" desktop entry that leaves a
# mark, must open; then `palmcue --quit` ends the program, which must exit with status 0.
#
# It downloads about 1 GB (the root and the package's dependencies), so the test suite leaves
# it out. Run it as root:
#   scripts/check-package.sh [DEB] [PHOTO]
# DEB defaults to build/palmcue_*.deb (make package), PHOTO to ../shared/hands/one_hagrid_01.jpg.
# The root is made afresh in $PALMCUE_CHECK_DIR (default /var/tmp/palmcue-check-package),
# outside the repository, and removed at the end; the downloaded packages stay in its cache/
# for the next run.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
debs=("$repo"/build/palmcue_*.deb)
deb=$(realpath -m "${1:-${debs[0]}}")
photo=$(realpath -m "${2:-$repo/../shared/hands/one_hagrid_01.jpg}")
dir=${PALMCUE_CHECK_DIR:-/var/tmp/palmcue-check-package}
root=$dir/root
user=palmuser

say() { echo "check-package: $*"; }
die() { echo "check-package: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "run it as root (debootstrap, chroot)"
[[ -f $deb ]] || die "no package at $deb (make package builds it)"
[[ -f $photo ]] || die "no photo at $photo"
[[ $dir/ != "$repo"/* ]] || die "$dir is inside the repository"
if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap \
        >/dev/null
fi

# The mirror that this machine's apt uses for a suite, as apt itself reads its sources.
mirror() { # suite
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk -v suite="$1" '$2 == suite {
        sub(/\/$/, "", $1); print $1; exit }'
}
debian=$(mirror bookworm)
security=$(mirror bookworm-security)
[[ -n $debian ]] || die "this machine's apt sources name no mirror for bookworm"
say "mirror $debian${security:+, security $security}"

# Nothing may stay mounted under the root before it is removed (rm would follow into it).
remove_root() {
    if findmnt -rno TARGET | grep -q "^$root\(/\|$\)"; then
        die "something is still mounted under $root; not removing it"
    fi
    rm -rf --one-file-system "$root"
}
[[ ! -e $root ]] || remove_root
mkdir -p "$dir/cache"
trap remove_root EXIT

say "debootstrap: a minimal Debian 12 root in $root"
start=$SECONDS
debootstrap --variant=minbase --cache-dir="$dir/cache" bookworm "$root" "$debian" \
    >"$dir/debootstrap.log" 2>&1 || { tail -20 "$dir/debootstrap.log"; die "debootstrap failed"; }
say "debootstrap done in $((SECONDS - start)) s"
{
    echo "deb $debian bookworm main"
    echo "deb $debian bookworm-updates main"
    [[ -z $security ]] || echo "deb $security bookworm-security main"
} >"$root/etc/apt/sources.list"
cp "$deb" "$root/tmp/"
cp "$photo" "$root/tmp/hand.jpg"

# The steps inside the root, in a mount namespace of their own: its mounts end with it.
inside() { # root deb-name user cache
    local root=$1 deb=/tmp/$2 user=$3 cache=$4
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    in_root() {
        chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
            DEBIAN_FRONTEND=noninteractive "$@"
    }

    cp -l "$cache"/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
    in_root apt-get update -qq
    echo "check-package: apt install ./$(basename "$deb"), and Xvfb, xauth, xdotool to drive it"
    local before=$SECONDS
    in_root apt-get install -y -q --no-install-recommends \
        "$deb" xvfb xauth xdotool >"$root/tmp/apt.log" 2>&1 ||
        { tail -30 "$root/tmp/apt.log"; return 1; }
    cp -ln "$root"/var/cache/apt/archives/*.deb "$cache/" 2>/dev/null || true
    echo "check-package: installed in $((SECONDS - before)) s:" \
        "$(in_root dpkg-query -W -f='${Package} ${Version}\n' palmcue)," \
        "$(in_root dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii') packages in the root"

    in_root useradd --create-home --shell /bin/bash "$user"
    local uid gid home=/home/$user
    uid=$(in_root id -u "$user")
    gid=$(in_root id -g "$user")
    mkdir -p -m 0700 "$root/run/user/$uid"
    mkdir -p "$root$home/.local/share/applications"
    cat >"$root$home/.local/share/applications/messages.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Messages
Exec=touch $home/index-opened
ENTRY
    mv "$root/tmp/hand.jpg" "$root$home/hand.jpg"
    in_root chown -R "$user:$user" "$home" "/run/user/$uid"

    cat >"$root$home/run.sh" <<'RUN'
#!/bin/bash
# As the user, inside Xvfb: start, click Start, wait for the index finger's application.
set -u
log() { echo "check-package: [$(date +%T)] $*"; }
PALMCUE_REPORT_STARTUP=1 palmcue --camera-file "$HOME/hand.jpg" >"$HOME/out.txt" 2>"$HOME/err.txt" &
app=$!
for _ in $(seq 600); do
    grep -q "first frame" "$HOME/out.txt" && break
    kill -0 $app 2>/dev/null || break
    sleep 0.1
done
sed 's/^/    /' "$HOME/out.txt"
window=$(xdotool search --onlyvisible --name '^Palm&Cue$' 2>/dev/null | head -n 1)
if [[ -z $window ]]; then
    log "no Palm&Cue window"; cat "$HOME/err.txt"; kill $app; exit 1
fi
width=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
log "window $window, $width pixels wide; clicking Start"
sleep 1.5 # the first frames under software OpenGL
xdotool mousemove --window "$window" $((width - 57)) 25 click 1 # Start, right in the header
for _ in $(seq 600); do
    [[ -e $HOME/index-opened ]] && break
    sleep 0.1
done
opened=0
[[ -e $HOME/index-opened ]] && opened=1 && log "the index finger opened its application (Messages)"
log "palmcue --quit"
palmcue --quit
quit=$?
wait $app
status=$?
log "palmcue --quit ended with $quit, the program with $status"
[[ -s $HOME/err.txt ]] && { echo "    its error output:"; sed 's/^/    /' "$HOME/err.txt"; }
[[ $opened -eq 1 && $quit -eq 0 && $status -eq 0 ]]
RUN
    chmod 755 "$root$home/run.sh"
    echo "check-package: starting palmcue as $user (uid $uid) under Xvfb"
    chroot --userspec="$uid:$gid" --groups="$gid" "$root" env -i HOME="$home" USER="$user" \
        LANG=C.UTF-8 PATH=/usr/bin:/bin XDG_RUNTIME_DIR="/run/user/$uid" \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$home/run.sh"
}

status=0
unshare --mount --propagation private \
    bash -c "set -euo pipefail; $(declare -f inside); inside \"\$@\"" bash \
    "$root" "$(basename "$deb")" "$user" "$dir/cache" || status=$?
[[ $status -eq 0 ]] || die "FAILED (status $status)"
say "PASSED: installed with apt into a fresh Debian 12 root, the index finger opened its" \
    "application, and palmcue --quit ended it"
