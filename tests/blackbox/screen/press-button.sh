#!/bin/sh
# Shows the english success page in the simulated printer, films it, and
# presses first beside its button (nothing happens) and then on it, by
# writing "x y" lines into the touch pipe from outside, as a person would.
# usage: press-button.sh SCREEN_DEMO SANDBOX RESOURCES
set -eu
demo=$1 sandbox=$2 resources=$3
# Skipped, with the runner's reason, where the simulated printer cannot run.
"$sandbox" --check || exit
work=$(mktemp -d /tmp/screen-press.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/touch"

"$sandbox" --bind "$work" "$work" \
    --setenv UPGRADE_SCREEN_TOUCH "$work/touch" --setenv UPGRADE_SCREEN_FILM "$work/film" -- \
    "$demo" --resources "$resources" --timeout 60 /Upgrade/qnxupgrade/english/15.png 854 520 1004 580 \
    >"$work/out" 2>"$work/err" &
run=$!

# Writing never blocks while the program holds the pipe open; the time-out
# covers the moment after it has gone.
press() { timeout 5 sh -c "echo '$1' > '$work/touch'" || true; }

# Touches that come before the program waits are discarded, as on the
# printer, so keep pressing (beside the button, then on it) until it answers.
tries=0
while kill -0 "$run" 2>/dev/null && [ $tries -lt 150 ]; do
    if [ -s "$work/film/frame-00001.png" ]; then
        press "700 550"
        sleep 0.2
        press "929 550"
    fi
    sleep 0.2
    tries=$((tries + 1))
done
status=0
wait "$run" || status=$?
if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != "3" ]; then
    echo "press-button: the demo ended with status $status and printed '$(cat "$work/out")'" >&2
    cat "$work/err" >&2
    exit 1
fi
# The page was filmed as shown.
[ -s "$work/film/frame-00001.png" ] || { echo "press-button: no film frame" >&2; exit 1; }
echo "press-button: the button answered a press from outside; film frames: $(ls "$work/film" | wc -l)"
