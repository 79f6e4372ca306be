#!/usr/bin/env bash
# The module-sim program: options, the link to its terminal, a banner through
# that link, and a clean end on SIGTERM that removes the link.
# Usage: program-test.sh MODULE_SIM SCRATCH_DIR
# Exit status 77 (skipped, with the reason) where the host cannot start MODULE_SIM.
set -uo pipefail
sim=$1
dir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$dir" && mkdir -p "$dir" || fail "no scratch folder"

"$sim" --help >"$dir/help" 2>&1
status=$?
# 126: the shell cannot execute it, as a cross build's program on the build machine.
if [ $status -eq 126 ]; then
    echo "SKIP: the host cannot start $sim, a program for another machine (the tests run under user-mode emulation)"
    exit 77
fi
[ $status -eq 0 ] || fail "--help did not exit 0"
grep -q -- "--link PATH" "$dir/help" || fail "--help does not document --link"
grep -q -- "--hang-up-at N" "$dir/help" || fail "--help does not document the faults"

for bad in "--bogus" "--boot-time" "--boot-time 12x" "--start-ack-delay 1x" "--baud -1" "--no-ack-at 99999999999" \
    "--power-loss-after-accept maybe" "--silent-at nowhere:5" "--split-reply chunk-0:3" "stray"; do
    # shellcheck disable=SC2086
    "$sim" $bad >/dev/null 2>"$dir/err"
    [ $? -eq 1 ] || fail "'$bad' did not exit 1"
    [ -s "$dir/err" ] || fail "'$bad' gave no diagnostic"
done

touch "$dir/not-a-link"
"$sim" --link "$dir/not-a-link" >/dev/null 2>&1
[ $? -eq 2 ] || fail "a file in the link's place was not refused"

"$sim" --boot-time 100 --link "$dir/port" --log >"$dir/out" 2>"$dir/log" &
pid=$!
trap 'kill "$pid" 2>/dev/null' EXIT
for _ in $(seq 100); do [ -L "$dir/port" ] && break; sleep 0.05; done
[ -L "$dir/port" ] || fail "no link to the terminal"
[ "$(readlink "$dir/port")" = "$(head -n1 "$dir/out")" ] || fail "the link and the printed path differ"

exec 3<>"$dir/port" || fail "cannot open the terminal"
banner=$(timeout 10 head -c 13 <&3 | tr -d '\r\n')
[ "$banner" = "Va2ZeZa APP" ] || fail "banner was '$banner'"
exec 3>&-

kill -TERM "$pid"
wait "$pid"
status=$?
trap - EXIT
[ $status -eq 0 ] || fail "exit status $status after SIGTERM"
[ ! -e "$dir/port" ] && [ ! -L "$dir/port" ] || fail "the link is still there"
grep -q 'banner "Va2ZeZa APP"' "$dir/log" || fail "the log does not show the banner"
grep -q "restart(s)" "$dir/log" || fail "no summary at the end"
echo "module-sim program: all checks passed"
