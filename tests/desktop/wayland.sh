#!/usr/bin/env bash
# Runs wayland.py with a headless sway: wayland.sh KUROEVIEW WLPOINTER OUTPUT-FOLDER.
# sway refuses to run as root, so the compositor and the program run as an
# unprivileged user of their own (made here when the test runs as root).
# Exit 77 (skipped) when sway, wtype or Qt's Wayland plugin is missing.
set -u
for tool in sway swaymsg wtype /usr/bin/python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed, so the program cannot be tried on a Wayland compositor"
        exit 77
    fi
done
if ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
    echo "SKIP: Qt's Wayland plugin (qt6-wayland) is not installed"
    exit 77
fi
user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    user=kuroeview-wayland
    if ! id "$user" >/dev/null 2>&1 && ! useradd --system --no-create-home --shell /usr/sbin/nologin "$user"; then
        echo "SKIP: no unprivileged user to run sway as"
        exit 77
    fi
fi
rm -rf "$3"
mkdir -p "$3"
scratch=$(mktemp -d)
chmod 755 "$scratch"
cp "$1" "$2" "$scratch/"
chown -R "$user" "$scratch"
trap 'pkill -u "$user" -x sway 2>/dev/null; rm -rf "$scratch"' EXIT
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(runuser -u "$user" --)
"${as_user[@]}" /usr/bin/python3 "$(dirname "$0")/wayland.py" "$scratch/$(basename "$1")" \
    "$scratch/$(basename "$2")" "$scratch" 2>&1 | tee "$3/wayland.log"
status=${PIPESTATUS[0]}
cp "$scratch"/*.log "$scratch"/*.png "$3/" 2>/dev/null
exit "$status"
