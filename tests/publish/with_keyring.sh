#!/bin/sh
# Runs a command against a keyring of its own: a private session bus with
# gnome-keyring-daemon, unlocked with a test password, in a throw-away home. The
# user's own bus and keyring are never reached; works as root and without a display.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/data" "$home/cache" "$home/config"
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
# The daemon ends with the bus.
dbus-run-session -- sh -c 'printf %s testpw | gnome-keyring-daemon --unlock --components=secrets >/dev/null; "$@"' \
    sh "$@"
