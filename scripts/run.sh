#!/usr/bin/env bash
# Starts parallax3d from the build tree with what this machine has: the built-in test pattern
# when no camera is plugged in, and a ten-second headless run when there is no display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
args=()
if [ "$("$build/bin/parallax3d-cameras" list 2>/dev/null | head -n1)" = "no cameras" ]; then
    echo "make run: no camera found; the two eyes are the built-in test pattern"
    args+=(--test-cameras)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    snapshot="$build/parallax3d-snapshot.png"
    echo "make run: no display; running for 10 seconds with broadcasting on," \
         "then the monitor picture goes to $snapshot"
    args+=(--quit-after 10 --broadcast --snapshot "$snapshot")
    # The demo reads the user's preferences but keeps what it switched on to itself.
    config=${XDG_CONFIG_HOME:-$HOME/.config}
    demo_config=$(mktemp -d)
    trap 'rm -rf "$demo_config"' EXIT
    if [ -d "$config/Parallax3D" ]; then
        cp -R "$config/Parallax3D" "$demo_config/"
    fi
    export XDG_CONFIG_HOME=$demo_config
    "$build/bin/parallax3d" "${args[@]}" "$@"
    exit
fi
exec "$build/bin/parallax3d" "${args[@]}" "$@"
