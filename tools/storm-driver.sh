#!/bin/bash
# Plays a marker storm inside the simulated printer: starts RadioFlashMonitor,
# and once its in-progress page is filmed creates the first marker; once that
# result page is filmed, creates the files of a list in /ramdisk/ as fast as
# this shell can (a redirection each, no process), then waits for the restart.
#
# Usage: storm-driver.sh FILM FIRST NAMES PROGRAM [ARG...]
#   FILM   the film folder of the screen stand-in
#   FIRST  the name of the first marker
#   NAMES  a file with the storm's names, one a line, created in that order
# Reports "storm: ..." lines on standard output (the program's output passes
# through): "first created", "result page filmed", "began", "ended COUNT",
# "RadioFlashMonitor ended with status N". Like the upgrade script, it
# outlives the restart's SIGTERM and SIGPWR.
set -u
film=$1 first=$2 names=$3
shift 3

# Waits for a filmed frame; false after 60 s.
wait_for_frame() {
    local deadline=$((SECONDS + 60))
    until [ -e "$film/$1" ]; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

"$@" 2>&1 &
program=$!
trap 'echo "storm: the shutdown asks the driver to end; it waits for the restart"' TERM
trap ':' PWR

if wait_for_frame frame-00001.png; then
    : >"/ramdisk/$first"
    echo "storm: first created $first"
    if wait_for_frame frame-00002.png; then
        echo "storm: result page filmed"
        mapfile -t storm <"$names"
        echo "storm: began"
        for name in "${storm[@]}"; do
            : >"/ramdisk/$name"
        done
        echo "storm: ended ${#storm[@]}"
    else
        echo "storm: no result page filmed within 60 s"
    fi
else
    echo "storm: no in-progress page filmed within 60 s"
fi

while :; do
    wait "$program"
    status=$?
    kill -0 "$program" 2>/dev/null || break
done
echo "storm: RadioFlashMonitor ended with status $status"
