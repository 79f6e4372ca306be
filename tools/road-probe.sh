#!/bin/bash
# Runs a road's upgrade script inside the simulated printer and, beside it,
# looks at the printer's processes once the result page is up: what runs,
# zombies, RadioFlashMonitor's descriptors, threads and resident memory.
#
# Usage: road-probe.sh FOLDER FILM SCRIPT [ARG...]
#   FOLDER/probe.txt  what the look found, one item a line:
#                       monitor PID rss KB hwm KB threads N fds N
#                       fd N TARGET        (each descriptor of RadioFlashMonitor)
#                       process PID STATE NAME   (each process but the probe's own)
#                       missed REASON      (no result page or no RadioFlashMonitor to look at)
#   FILM              the film folder of the screen stand-in: the look comes one
#                     second after its second frame (the result page)
# The script's output passes through; the exit status is the script's.
# Like the upgrade script, this one outlives the restart's SIGTERM and SIGPWR,
# so that the restart, not the shutdown's signals, ends the road.
set -u
folder=$1 film=$2
shift 2
out="$folder/probe.txt"
: >"$out"

# The listing uses builtins only, so that it sees no process of its own; the
# commands before it have ended by then.
process_line() {
    local pid=$1 key value name="" state=""
    while IFS=$'\t' read -r key value; do
        case $key in
            Name:) name=$value ;;
            State:) state=${value%% *} ;;
        esac
    done <"/proc/$pid/status" 2>/dev/null || return 1
    [ -n "$name" ] && printf 'process %s %s %s\n' "$pid" "$state" "$name"
}

memory_line() {
    local pid=$1 key value rss="" hwm="" threads=""
    while IFS=$'\t' read -r key value; do
        value=${value## }
        case $key in
            VmRSS:) rss=${value%% kB} ;;
            VmHWM:) hwm=${value%% kB} ;;
            Threads:) threads=$value ;;
        esac
    done <"/proc/$pid/status"
    local fds=(/proc/"$pid"/fd/*)
    printf 'monitor %s rss %s hwm %s threads %s fds %s\n' "$pid" "${rss// /}" "${hwm// /}" "$threads" "${#fds[@]}"
}

look() {
    local deadline=$((SECONDS + 600)) pid monitor="" comm
    until [ -e "$film/frame-00002.png" ]; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "missed no result page within 600 s" >>"$out"
            return
        fi
        sleep 0.2
    done
    sleep 1
    for pid in /proc/[0-9]*; do
        pid=${pid#/proc/}
        comm=""
        read -r comm <"/proc/$pid/comm" 2>/dev/null || continue
        [ "$comm" = RadioFlashMonit ] && monitor=$pid
    done
    if [ -z "$monitor" ]; then
        echo "missed no RadioFlashMonitor on the result page" >>"$out"
    else
        memory_line "$monitor" >>"$out"
        local fd
        for fd in /proc/"$monitor"/fd/*; do
            # readlink is not a builtin: its process has ended before the listing below.
            printf 'fd %s %s\n' "${fd##*/}" "$(readlink "$fd")" >>"$out"
        done
    fi
    for pid in /proc/[0-9]*; do
        pid=${pid#/proc/}
        [ "$pid" = "$BASHPID" ] && continue
        process_line "$pid" >>"$out" || true
    done
}

trap 'echo "probe: the shutdown asks the probe to end; it waits for the restart"' TERM
trap ':' PWR
look &
looker=$!
"$@"
status=$?
wait "$looker"
exit $status
