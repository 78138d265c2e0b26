#!/usr/bin/env bash
# Runs the acceptance suite (acceptance.py) on a fresh Xvfb screen, without a
# window manager or under openbox:
# acceptance.sh KUROEVIEW SAMPLES-TOOL OUTPUT-FOLDER [SCALE] [openbox].
# Exit 77 (skipped) when the X tools it needs are missing.
set -u
manager=${5:-}
for tool in Xvfb xdotool xwininfo xprop import convert python3 $manager; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed, so the program cannot be tried on a real X server"
        exit 77
    fi
done
scale=${4:-1}
width=$((1280 * ${scale%.*})) height=$((1024 * ${scale%.*}))
export QT_SCALE_FACTOR=$scale
unset QT_QPA_PLATFORM
rm -rf "$3"
mkdir -p "$3"
script="$(dirname "$0")/acceptance.py"
if [ -z "$manager" ]; then
    exec "$(dirname "$0")/xserver.sh" "${width}x${height}" "$3/xvfb.log" python3 "$script" "$1" "$2" "$3"
fi
exec "$(dirname "$0")/xserver.sh" "${width}x${height}" "$3/xvfb.log" bash -c '
    "$0" --sm-disable >"$4/$0.log" 2>&1 &
    manager=$!
    sleep 1
    python3 "$1" "$2" "$3" "$4" window-manager
    status=$?
    kill $manager 2>/dev/null
    exit $status' "$manager" "$script" "$1" "$2" "$3"
