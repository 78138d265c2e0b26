#!/usr/bin/env bash
# Starts the real program under Xvfb on a scratch HOME and checks that its
# main window maps with the right title. Exit 77 (skipped) without Xvfb.
set -u
program=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/pictures"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" QT_QPA_PLATFORM=xcb
cd "$scratch/pictures"
"$here/xserver.sh" 1280x1024 "$scratch/xvfb.log" bash -c '
    "$0" >"$1/log" 2>&1 & pid=$!
    for i in $(seq 1 600); do
        if xwininfo -name "KuRoE Zuziz" 2>/dev/null | grep -q "Map State: IsViewable"; then
            echo "window mapped: $(xwininfo -name "KuRoE Zuziz" | grep -E "Width|Height" | tr -s " " | tr "\n" " ")"
            kill $pid; wait $pid 2>/dev/null; exit 0
        fi
        sleep 0.1
    done
    echo "the main window did not map; the program said:"; cat "$1/log"; kill $pid; exit 1' "$program" "$scratch"
status=$?
[ "$status" -eq 1 ] && cat "$scratch/xvfb.log"
exit "$status"
