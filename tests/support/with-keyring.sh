#!/bin/sh
# Runs a command in a private D-Bus session holding its own unlocked GNOME
# keyring in a temporary home, so that tests reach a real Secret Service
# without ever touching the user's own keyring. Both end with the command.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-run-session -- sh -c '
    # A non-empty password on stdin creates and unlocks the login keyring.
    printf tolvo-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec "$@"' sh "$@"
