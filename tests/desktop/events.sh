#!/usr/bin/env bash
# Runs events.py on a fresh Xvfb screen under the openbox window manager:
# events.sh KUROEVIEW OUTPUT-FOLDER close|monkey|slowshare [SEEDS [SECONDS-PER-SEED]].
# Exit 77 (skipped) when the X tools it needs are missing.
set -u
for tool in Xvfb openbox convert import /usr/bin/python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed, so the program cannot be tried on a real X server"
        exit 77
    fi
done
if ! /usr/bin/python3 -c "import Xlib" 2>/dev/null; then
    echo "SKIP: python3-xlib is not installed"
    exit 77
fi
unset QT_QPA_PLATFORM QT_SCALE_FACTOR
rm -rf "$2"
mkdir -p "$2"
script="$(dirname "$0")/events.py"
exec "$(dirname "$0")/xserver.sh" 1280x1024 "$2/xvfb.log" bash -c '
    openbox --sm-disable --debug >"$2/openbox.log" 2>&1 &
    manager=$!
    for i in $(seq 1 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
    /usr/bin/python3 "$0" "$@"
    status=$?
    kill $manager 2>/dev/null
    exit $status' "$script" "$@"
