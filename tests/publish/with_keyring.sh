#!/bin/sh
# Runs a command with a keyring of its own (as root, without a display): a private session
# bus and gnome-keyring-daemon unlocked with a test password, in a throw-away home.
home=$(mktemp -d) && trap 'rm -rf "$home"' EXIT && mkdir -p "$home/data" && mkdir -m 700 "$home/run" || exit 1
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" dbus-run-session -- \
    sh -c 'printf testpw | gnome-keyring-daemon --unlock --components=secrets >/dev/null; "$@"' sh "$@"
