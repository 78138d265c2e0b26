#!/usr/bin/env bash
# xserver.sh WIDTHxHEIGHT LOG COMMAND [ARGUMENT...]: runs COMMAND with DISPLAY
# set to a fresh Xvfb screen of its own and ends the server after it; the
# server's messages go to LOG. Xvfb picks the free display number itself
# (-displayfd), so stale lock files left by killed servers, or a compositor's
# Xwayland, never make a client meet another test's server. The command starts
# only once the server answers. The server never resets when its last client
# goes (-noreset): the check that it answers, or a program the test closes
# and starts again, would otherwise leave the next client a server that is
# resetting and refuses it. Exit 77 when Xvfb is not installed.
set -u
size=$1 log=$2
shift 2
if ! command -v Xvfb >/dev/null || ! command -v xwininfo >/dev/null; then
    echo "SKIP: Xvfb or xwininfo is not installed"
    exit 77
fi
for attempt in 1 2 3; do
    numbers=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$numbers" >>"$log" 2>&1 &
    server=$!
    number=
    for i in $(seq 1 300); do
        number=$(head -n1 "$numbers" | tr -dc 0-9)
        [ -n "$number" ] && break
        kill -0 "$server" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$numbers"
    if [ -n "$number" ]; then
        for i in $(seq 1 300); do
            DISPLAY=:$number xwininfo -root >/dev/null 2>&1 && break
            sleep 0.05
        done
        if DISPLAY=:$number xwininfo -root >/dev/null 2>&1; then
            trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null' EXIT
            trap 'exit 143' TERM INT
            DISPLAY=:$number "$@"
            exit $?
        fi
    fi
    echo "Xvfb did not start (attempt $attempt)" >>"$log"
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
done
echo "Xvfb did not start; see $log"
exit 1
