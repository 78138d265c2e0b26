#!/usr/bin/env bash
# Runs the acceptance suite (acceptance.py) on a fresh Xvfb screen without a
# window manager: acceptance.sh KUROEVIEW SAMPLES-TOOL OUTPUT-FOLDER [SCALE].
# Exit 77 (skipped) when the X tools it needs are missing.
set -u
for tool in xvfb-run xdotool xwininfo import convert python3; do
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
exec xvfb-run -a -e "$3/xvfb.log" -s "-screen 0 ${width}x${height}x24" python3 "$(dirname "$0")/acceptance.py" "$1" "$2" "$3"
