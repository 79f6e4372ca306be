#!/bin/sh
# The printer's Wi-Fi module upgrade as its upgrade script runs it: the
# reference for the real script, which must do these steps in this order.
#
#   wifi-upgrade.sh FIRMWARE TARGET-VERSION [RadioFlashMonitor OPTION]...
#
# 0. Both markers of an earlier run go: the RAM disk keeps them until the
#    printer restarts, and a marker created over an existing file gives no
#    create event, so a stale one would hide this run's result.
# 1. RadioFlashMonitor starts and puts the in-progress page up (the options,
#    e.g. -a to confirm the result pages automatically or -r for the recovery
#    variants, are passed on).
# 2. ModuleFlasher uploads FIRMWARE to the module on /dev/wifi1 and checks
#    that the module then reports TARGET-VERSION; its exit status (0 or 1)
#    is the outcome.
# 3. The outcome becomes a marker file in /ramdisk/: "wifi.started" for 0,
#    "wifiupgrade.failed" otherwise. RadioFlashMonitor shows the result page
#    and restarts the printer 15 s after the marker.
# 4. The script waits for the restart. The shutdown's SIGTERM and SIGPWR do
#    not end it: it has nothing left to do but wait, and the restart ends it.
#
# The programs are found on the search path; RADIO_FLASH_MONITOR and
# MODULE_FLASHER may name others (the simulated printer's build).
# Each step is reported as a line "upgrade: ..." on standard output.

[ $# -ge 2 ] || { echo "usage: wifi-upgrade.sh FIRMWARE TARGET-VERSION [RadioFlashMonitor OPTION]..." >&2; exit 2; }
firmware=$1
target=$2
shift 2
monitor_program=${RADIO_FLASH_MONITOR:-RadioFlashMonitor}
flasher_program=${MODULE_FLASHER:-ModuleFlasher}
markers=/ramdisk

rm -f "$markers/wifi.started" "$markers/wifiupgrade.failed"
echo "upgrade: removed the markers of an earlier run"

"$monitor_program" "$@" &
monitor=$!
echo "upgrade: RadioFlashMonitor started ($monitor)"

trap 'echo "upgrade: the shutdown asks this script to end; it waits for the restart"' TERM
trap '' PWR

echo "upgrade: ModuleFlasher -f $firmware -t $target"
if "$flasher_program" -f "$firmware" -t "$target"; then
    echo "upgrade: ModuleFlasher ended with status 0"
    marker=wifi.started
else
    echo "upgrade: ModuleFlasher ended with status $?"
    marker=wifiupgrade.failed
fi
: >"$markers/$marker"
echo "upgrade: created $markers/$marker"

# A trapped signal ends a wait early; wait again while the program runs.
while :; do
    wait "$monitor"
    status=$?
    kill -0 "$monitor" 2>/dev/null || break
done
echo "upgrade: RadioFlashMonitor ended with status $status"
