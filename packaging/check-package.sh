#!/usr/bin/env bash
# The Debian package as users get it. Outside: its control fields, lintian, the desktop entry
# and metainfo it carries. Then installed with dpkg into a private view of this machine (a
# mount namespace with overlays on /usr, /etc and /var, so nothing reaches the real ones) and
# run from there with no environment pointing anywhere: the application broadcasts, and
# parallax3d-vcam and ffmpeg, through the plug-in on ffmpeg's own default path, get the
# broadcast frames; installing twice changes nothing; a purge leaves none of the package's
# files or links, and the user's own files stay. Where mount namespaces are not allowed, the
# package is unpacked with dpkg-deb -x and run from that tree instead.
# usage: check-package.sh BUILD_DIR
set -euo pipefail

readonly kFrameBytes=$((640 * 480 * 4))
readonly kPlugInSource="frei0r_src=size=640x480:framerate=30:filter_name=CIParallax3DInput:filter_params=0"

say() { echo "package-check: $*"; }
die() {
    echo "package-check: FAILED: $*" >&2
    exit 1
}

# The readers' own pictures, before anything is broadcast.
capture_idle() {
    local bin=$1 out=$2
    "$bin/parallax3d-vcam" --output "$out/idle.argb" --format argb --frames 1 ||
        die "parallax3d-vcam found no component before the first broadcast"
    ffmpeg -nostdin -v error -f lavfi -i "$kPlugInSource" -frames:v 1 -f rawvideo \
        -pix_fmt rgba -y "$out/idle.rgba" || die "ffmpeg could not load CIParallax3DInput"
}

# The application broadcasting while both readers take three frames.
run_programs() {
    local bin=$1 out=$2
    "$bin/parallax3d-cameras" --help | grep -q "parallax3d-cameras list" ||
        die "parallax3d-cameras --help"
    capture_idle "$bin" "$out"
    "$bin/parallax3d" --test-cameras --broadcast --quit-after 8 >"$out/app.log" 2>&1 &
    local app=$!
    local channel
    for _ in $(seq 100); do
        channel=$(find /tmp -maxdepth 1 -name 'com-red-kite-*-Parallax3D-1.201-640x480-ARGB.tmp' |
            head -1)
        [ -n "$channel" ] && break
        sleep 0.1
    done
    [ -n "$channel" ] || die "parallax3d made no channel: $(cat "$out/app.log")"
    sleep 1
    "$bin/parallax3d-vcam" --output "$out/vcam.argb" --format argb --frames 3 ||
        die "parallax3d-vcam"
    ffmpeg -nostdin -v error -f lavfi -i "$kPlugInSource" -frames:v 3 -f rawvideo \
        -pix_fmt rgba -y "$out/ffmpeg.rgba" || die "ffmpeg through CIParallax3DInput"
    wait "$app" || die "parallax3d ended with status $?: $(cat "$out/app.log")"

    local name reference
    for name in vcam.argb:idle.argb ffmpeg.rgba:idle.rgba; do
        reference=$out/${name#*:}
        name=$out/${name%%:*}
        [ "$(stat -c %s "$name")" -eq $((3 * kFrameBytes)) ] || die "$name: not three frames"
        if cmp -s -n "$kFrameBytes" "$name" "$reference"; then
            die "$(basename "$name") shows its own idle picture, not the broadcast"
        fi
    done
    say "parallax3d broadcast; parallax3d-vcam and ffmpeg through the plug-in got its frames"
}

# The unit as the installed systemd reads it; Debian 12's systemd does not know the back-off
# keys of later versions and only says so.
verify_unit() {
    command -v systemd-analyze >/dev/null || return 0
    local man=yes
    command -v man >/dev/null || man=no
    local report
    report=$(systemd-analyze verify --man=$man /usr/lib/systemd/user/parallax3d-vcam.service 2>&1 |
        grep -vE "Unknown key '(RestartSteps|RestartMaxDelaySec)'" || true)
    [ -z "$report" ] || die "systemd-analyze verify: $report"
    say "the user service verifies"
}

# Everything below runs in the private mount namespace; $1 is the package.
inside() {
    local deb=$1 view=/mnt
    mount -t tmpfs p3d-check "$view" || exit 99
    cp "$deb" "$view/package.deb"
    deb=$view/package.deb
    local tree
    for tree in usr etc var; do
        mkdir -p "$view/$tree/upper" "$view/$tree/work"
        mount -t overlay overlay -o \
            "lowerdir=/$tree,upperdir=$view/$tree/upper,workdir=$view/$tree/work" "/$tree" ||
            exit 99
    done
    # A channel, semaphores and instance lock of our own, apart from anyone else's.
    mount -t tmpfs p3d-tmp /tmp
    mount -t tmpfs p3d-shm /dev/shm

    [ ! -e /usr/bin/parallax3d ] || die "parallax3d is installed on this machine already"
    dpkg -i "$deb" >/dev/null || die "dpkg -i"
    local wants=/etc/systemd/user/default.target.wants/parallax3d-vcam.service
    [ "$(readlink "$wants")" = /usr/lib/systemd/user/parallax3d-vcam.service ] ||
        die "the user service is not enabled for every user"
    local etc_before
    etc_before=$(find /etc /var/lib/systemd -name '*parallax3d*' | sort)
    dpkg -i "$deb" >/dev/null || die "dpkg -i a second time"
    # deb-systemd-helper works only for a script that dpkg runs, or seems to.
    DPKG_MAINTSCRIPT_PACKAGE=parallax3d DPKG_MAINTSCRIPT_NAME=postinst \
        /var/lib/dpkg/info/parallax3d.postinst configure 1.201 || die "postinst a third time"
    [ "$(find /etc /var/lib/systemd -name '*parallax3d*' | sort)" = "$etc_before" ] ||
        die "installing again changed /etc"
    say "dpkg -i twice; the user service is enabled for every user"

    verify_unit

    export HOME=/tmp/home
    mkdir -p "$HOME" /tmp/out
    run_programs /usr/bin /tmp/out
    [ ! -e "$HOME/.local/share/parallax3d/Components/Parallax3D_XXX.component" ] ||
        die "the application linked the component for the user although the package installed it"

    # What the user made stays: the settings, and a components link such as a run from a build
    # tree leaves.
    local settings=$HOME/.config/Parallax3D/Parallax3D.conf
    [ -f "$settings" ] || die "the application kept no settings"
    mkdir -p "$HOME/.local/share/parallax3d/Components"
    ln -s /nowhere/Parallax3D_XXX.component "$HOME/.local/share/parallax3d/Components/"

    local files
    files=$(dpkg -L parallax3d)
    dpkg-deb -e "$deb" /tmp/control
    dpkg --purge parallax3d >/dev/null || die "dpkg --purge"
    local file left=""
    while IFS= read -r file; do
        if [ -L "$file" ] || { [ -e "$file" ] && [ ! -d "$file" ]; }; then
            left+=" $file"
        fi
    done <<<"$files"
    for file in /usr/lib/parallax3d /usr/share/doc/parallax3d; do
        [ ! -e "$file" ] || left+=" $file"
    done
    left+=$(find /etc /var/lib/systemd /var/lib/dpkg/info -name '*parallax3d*' -printf ' %p')
    [ -z "$left" ] || die "left after the purge:$left"
    DPKG_MAINTSCRIPT_PACKAGE=parallax3d DPKG_MAINTSCRIPT_NAME=postrm /tmp/control/postrm purge ||
        die "postrm purge a second time"
    [ -f "$settings" ] && [ -L "$HOME/.local/share/parallax3d/Components/Parallax3D_XXX.component" ] ||
        die "the purge took the user's own files"
    say "the purge left nothing of the package; the user's settings and link stayed"
}

# Without namespaces: the unpacked tree, the component linked for the user as broadcasting does
# by hand, and the plug-in in ffmpeg's per-user default folder.
unpacked() {
    local deb=$1 scratch=$2
    say "no private mount namespace here: running the unpacked tree instead of dpkg -i"
    local root=$scratch/root
    export HOME=$scratch/home
    mkdir -p "$HOME/.local/share/parallax3d/Components" "$HOME/.frei0r-1" "$scratch/out"
    ln -sfn "$root/usr/lib/parallax3d/Resources/Parallax3D_XXX.component" \
        "$HOME/.local/share/parallax3d/Components/"
    ln -sfn "$root/usr/lib/frei0r-1" "$HOME/.frei0r-1/lib"
    run_programs "$root/usr/bin" "$scratch/out"
}

if [ "${1:-}" = --inside ]; then
    shift
    unset DISPLAY WAYLAND_DISPLAY FREI0R_PATH PARALLAX3D_TEST_CAMERAS PARALLAX3D_LOCAL_DOMAIN \
        PARALLAX3D_SYSTEM_DOMAIN XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME
    inside "$@"
    exit 0
fi

build=${1:?usage: check-package.sh BUILD_DIR}
build=$(cd "$build" && pwd)
debs=("$build"/parallax3d_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || die "expected one parallax3d_*.deb in $build"
deb=${debs[0]}
say "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = parallax3d ] || die "Package: $(field Package)"
[ "$(field Version)" = 1.201 ] || die "Version: $(field Version)"
[ "$(field Recommends)" = "pipewire, v4l2loopback-dkms" ] || die "Recommends: $(field Recommends)"
field Depends | grep -q libqt6widgets6 || die "Depends, from the libraries, lacks Qt: $(field Depends)"

# Errors fail; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" | sed 's/^/lintian: /' ||
    die "lintian reported errors"

scratch=$build/package-check
rm -rf "$scratch"
mkdir -p "$scratch"
dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/parallax3d.desktop" ||
    die "desktop-file-validate"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/"*.metainfo.xml ||
    die "appstreamcli validate"

status=0
if [ "$(id -u)" -eq 0 ] && unshare -m --propagation private true 2>/dev/null; then
    unshare -m --propagation private "$0" --inside "$deb" || status=$?
else
    status=99
fi
if [ $status -eq 99 ]; then
    unset DISPLAY WAYLAND_DISPLAY FREI0R_PATH PARALLAX3D_TEST_CAMERAS XDG_CONFIG_HOME XDG_DATA_HOME
    unpacked "$deb" "$scratch"
elif [ $status -ne 0 ]; then
    exit $status
fi
say "passed"
