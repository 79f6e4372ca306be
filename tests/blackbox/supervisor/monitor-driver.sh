#!/usr/bin/env bash
# Plays the upgrade script's part around RadioFlashMonitor inside the
# simulated printer, on a test's commands: starts the program, creates files
# in /ramdisk, sends the program signals and records what happened.
#
# Usage: monitor-driver.sh FOLDER [--create-old NAME]... [--create-after-start NAME]... PROGRAM [ARG...]
#   --create-old NAME          creates /ramdisk/NAME as an earlier run left it:
#                              in a second before the one the program starts in
#   --create-after-start NAME  creates /ramdisk/NAME right after starting the
#                              program, as a flasher that fails at once makes
#                              the script do, before the program watches
#   FOLDER/commands  a named pipe the test made; one command a line:
#                      create NAME...  creates /ramdisk/NAME for each name, in one go
#                      flood COUNT     creates COUNT files in the background,
#                                      alternately other-N and wifi.started-N,
#                                      noting "flooding" after the first hundred
#                      signal NAME...  sends SIGNAME to the program, for each name in turn
#   FOLDER/log       "MS WHAT" a line (MS: milliseconds of the boot clock):
#                      started PID, created NAME..., signalled NAME,
#                      shutdown SIGTERM (the restart's shutdown reached this
#                      script), exit STATUS (the program ended)
#   FOLDER/out, FOLDER/err  the program's standard output and error
# The script ends when the program has ended.
set -u
folder=$1
shift
after_start=()
while :; do
    case ${1-} in
        --create-old)
            : >"/ramdisk/$2"
            created=$(date +%s)
            while [ "$(date +%s)" = "$created" ]; do sleep 0.05; done
            shift 2 ;;
        --create-after-start) after_start+=("$2"); shift 2 ;;
        *) break ;;
    esac
done

note() {
    local up rest
    read -r up rest </proc/uptime
    echo "${up/./}0 $*" >>"$folder/log"
}

# The program starts with the signals' default actions; only this script
# outlives the shutdown's SIGTERM and SIGPWR, so that it sees the end.
"$@" >"$folder/out" 2>"$folder/err" &
program=$!
for name in "${after_start[@]}"; do : >"/ramdisk/$name"; done
note "started $program"
trap 'note "shutdown SIGTERM"' TERM
trap '' PWR

flood() {
    local i
    for ((i = 1; i <= $1; i++)); do
        if ((i % 2)); then : >"/ramdisk/other-$i"; else : >"/ramdisk/wifi.started-$i"; fi
        ((i == 100)) && note "flooding"
    done
}

serve() {
    trap '' TERM
    local command arguments name
    while read -r command arguments <&3; do
        case $command in
            create)
                for name in $arguments; do : >"/ramdisk/$name"; done
                note "created $arguments" ;;
            flood) flood "$arguments" & ;;
            signal)
                for name in $arguments; do kill -s "$name" "$program"; done
                note "signalled $arguments" ;;
        esac
    done
}

# Opened for reading and writing: never at its end, whoever writes.
exec 3<>"$folder/commands"
serve &

while :; do
    wait "$program"
    status=$?
    kill -0 "$program" 2>/dev/null || break
done
note "exit $status"
# Whatever still runs (the server, a flood) ends with the sandbox.
exit 0
