# Parts shared by the scripts that run roads of the upgrade on the simulated
# printer (run-main-job, run-endurance, run-marker-storm). Sourced, not run;
# the caller has set -euo pipefail and stands in the project's root.

# Builds the programs of a road in the build folder $1 and names them:
# flasher, monitor, simulator, board_tool, road_picture (absolute paths).
# With $2 = configure (the default), the folder is configured as the release
# build first; with $2 = existing, an already configured folder (e.g. the test
# command's) only gets its targets brought up to date.
build_road_programs() {
    local build=$1 mode=${2:-configure}
    echo "== building the programs in $build"
    if [ "$mode" = configure ]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DUPGRADE_TESTS=OFF >/dev/null
    fi
    cmake --build "$build" -j "$(nproc)" --target ModuleFlasher module-sim RadioFlashMonitor board-eeprom road-picture
    local at
    at=$(cd "$build" && pwd)
    flasher="$at/flasher/ModuleFlasher"
    monitor="$at/supervisor/RadioFlashMonitor"
    simulator="$at/tools/module-sim/module-sim"
    board_tool="$at/tools/eeprom-tool/board-eeprom"
    road_picture="$at/tools/road-picture/road-picture"
}

# Starts the module simulator in the background with its terminal linked at
# $1/wifi1, its first line (the terminal's path) in $1/module.out and its log
# in $1/module.log; the further arguments are its options. Sets sim_pid.
# Returns 1 when the link did not appear within 10 s.
start_module_simulator() {
    local dir=$1
    shift
    "$simulator" --link "$dir/wifi1" --log "$@" >"$dir/module.out" 2>"$dir/module.log" &
    sim_pid=$!
    for _ in $(seq 100); do
        [ -L "$dir/wifi1" ] && return 0
        kill -0 "$sim_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Seconds from time $1 to time $2 (wall-clock seconds with fractions), to a tenth.
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# Each line of standard input with the wall-clock time it arrived.
stamp() { while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done; }

# The preference file $2: the framed record (identifier, 32-bit length, text)
# whose language property names the display language $1.
write_preferences() {
    local text="{\"Properties\":[{\"Name\":\"9F8EE615-2887-4AF9-8A06-37902964D991\",\"Value\":\"$1\"}]}"
    local length=${#text}
    {
        printf '\xb3\xec\x09\x9a\x22\x92\x48\xfa\x83\xd0\x06\x84\x0b\xc9\x91\x02'
        printf "\\x$(printf %02x $((length & 255)))\\x$(printf %02x $(((length >> 8) & 255)))\\x00\\x00"
        printf '%s' "$text"
    } >"$2"
}

# The board image $1/board.img holding the build record $2 (written through
# the board tool in a sandbox, on the simulated I2C bus).
write_board_image() {
    local work=$1 build_number=$2
    "$board_tool" create-image "$work/board.img" >/dev/null
    echo "{\"BuildNumber\":\"$build_number\"}" >"$work/build.json"
    tools/sandbox --store "$work/store" --i2c "$work/board.img" --bind "$work" "$work" -- \
        "$board_tool" write-file build-record "$work/build.json" >/dev/null
}

# --- roads with a module fault and a retry (run-fault-matrix, run-endurance)

# The flasher's time values, read from its own constants (flasher/), in
# seconds: reply_timeout (a command's reply), ack_timeout (a chunk's
# acknowledgement), settle_delay (the pause over a module restart, also the
# boot wait of a reset), boot_timeout (a banner after a restart), and the
# pauses listen_pause (after a reset command), ack_pause (after a missing
# acknowledgement), attempt_pause (before each attempt to open the port) and
# started_pause (after the port opened).
read_flasher_bounds() {
    local header=flasher/FlasherProtocol.h link=flasher/TelitComDevice.h
    value_of() {
        local found
        found=$(sed -n "s/.*\b$2{\([0-9]*\)}.*/\1/p" "$1")
        [ -n "$found" ] || { echo "road-common: no value of $2 in $1" >&2; return 1; }
        echo "$found"
    }
    reply_timeout=$(value_of "$header" DefaultReadTimeout)
    ack_timeout=$(value_of "$header" AckTimeout)
    settle_delay=$(value_of "$header" SettleDelay)
    boot_timeout=$(value_of "$header" PostResetBootTimeout)
    listen_pause=$(awk -v ms="$(value_of "$header" ListenPause)" 'BEGIN { print ms / 1000 }')
    ack_pause=$(awk -v ms="$(value_of "$header" AckTimeoutPause)" 'BEGIN { print ms / 1000 }')
    attempt_pause=$(awk -v ms="$(value_of "$link" attemptPause)" 'BEGIN { print ms / 1000 }')
    started_pause=$(awk -v ms="$(value_of "$link" startedPause)" 'BEGIN { print ms / 1000 }')
}

# Starts the module simulator of the road in folder $1 (versions old_version
# and new_version, a 3-s boot, the road's fast line, an upload abandoned
# after 10 s without a byte, so that a module left in an upload by a failed
# road takes commands again by the time the printer has restarted) with the
# further options given, and waits until its link is there and it has
# booted, so that the flasher always finds a module that has started. Sets
# sim_pid; false when the simulator did not start.
# shellcheck disable=SC2154 # old_version and new_version are the caller's
start_module() {
    local dir=$1
    shift
    # The module's log counts from its start: this lets the road's times be put on that clock.
    echo "$EPOCHREALTIME" >"$dir/module.start"
    start_module_simulator "$dir" --boot-time 3000 --baud 921600 --upload-idle 10000 \
        --version-before "$old_version" --version-after "$new_version" "$@" || return 1
    for _ in $(seq 100); do
        grep -q ': booted$' "$dir/module.log" && return 0
        kill -0 "$sim_pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# The road in folder $1 with the firmware image $2: the printer runs the
# command that follows in the sandbox (the upgrade script, or a probe around
# it) through the restart, its output stamped into $1/road.log; road_status
# is the sandbox's. Then the module's faults are taken away (SIGUSR1), the
# version the module reports is road_version, and the flasher alone runs once
# more against the same module, as after the printer's restart (the retry:
# retry_status, its output in $1/retry.log).
run_road_and_retry() {
    local dir=$1 image=$2
    shift 2
    road_status=0
    tools/sandbox --store "$dir/store" --tty "$dir/wifi1" --i2c "$dir/board.img" --bind "$dir" "$dir" \
        --setenv UPGRADE_SCREEN_FILM "$dir/film" --setenv RADIO_FLASH_MONITOR "$monitor" \
        --setenv MODULE_FLASHER "$flasher" --program "$monitor" --program "$flasher" -- "$@" 2>&1 | stamp >"$dir/road.log" || road_status=$?
    road_version="(no repair)" retry_status=none
    kill -USR1 "$sim_pid" 2>/dev/null || return 0
    for _ in $(seq 100); do
        road_version=$(sed -n 's/.*: faults cleared; reports version "\(.*\)"$/\1/p' "$dir/module.log")
        [ -n "$road_version" ] && break
        sleep 0.1
    done
    retry_status=0
    tools/sandbox --store "$dir/store" --tty "$dir/wifi1" --bind "$dir" "$dir" -- \
        "$flasher" -f "$image" -t "$new_version" >"$dir/retry.log" 2>&1 || retry_status=$?
}

# Ends the module simulator of the road in $1 and sets module_version, the
# version it reports at its end (after the retry).
stop_module() {
    local dir=$1
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    module_version=$(sed -n 's/.*reports version "\(.*\)"$/\1/p' "$dir/module.log" | tail -n 1)
}

# Checks every wait of the flasher in the module's log $1 (read_flasher_bounds
# first): between two things the module saw the flasher do (open or close the
# port, a command, a chunk, also one that a power loss or a hang-up cut
# short), no more time may pass than the flasher's time-out for what it
# waited for then, plus `margin` seconds for the load:
#   after the first opening of a run      the start banner's reply time-out (+ the pause after opening;
#                                         until the port closes, also the query's reply time-out)
#   after a later opening                 the banner time-out after a restart (+ the same pause)
#   after a command                       the reply time-out (after "AT+RESET=1": the short listen)
#   after a chunk                         the acknowledgement time-out (+ its pause)
#   after a closing, until the reopening  the settle pause (+ the pause before an attempt)
# The road's run ends with the flasher's end at $2 seconds on the module's
# clock, when given (a wait that nothing the module sees ends, such as the
# one after a hang-up), and at "faults cleared" (the retry is a run of its
# own). Prints the
# road's wait for the module nearest its bound ("STEP: S s of B s"; the
# settle pauses, which are always taken whole, and the retry left out);
# false and the waits beyond their bound on a second line when any wait was
# too long.
check_waits() {
    awk -v reply="$reply_timeout" -v ack="$ack_timeout" -v settle="$settle_delay" -v boot="$boot_timeout" \
        -v listen="$listen_pause" -v ackpause="$ack_pause" -v attempt="$attempt_pause" \
        -v started="$started_pause" -v margin="${margin:-1.5}" -v flasher_end="${2:-}" '
        function bound_after(kind) {
            if (kind == "opened") return first ? (next_kind ~ /^command/ ? reply : 2 * reply) + started : boot + started
            if (kind == "closed") return settle + attempt
            if (kind == "chunk") return ack + ackpause
            if (kind == "command \"AT+RESET=1\"") return listen
            return reply
        }
        function step_of(kind) {
            if (kind == "opened") return first ? "start banner" : "banner after a restart"
            if (kind == "closed") return "settle pause"
            if (kind == "chunk") return "chunk acknowledgement"
            return "reply to " substr(kind, 9)
        }
        function waited(t, kind) {
            if (prev != "") {
                next_kind = kind
                wait = t - prevt; b = bound_after(prev)
                if (road && prev != "closed" && wait / b > worst) {
                    worst = wait / b; line = sprintf("%s: %.1f s of %g s", step_of(prev), wait, b)
                }
                if (wait > b + margin) over = over sprintf("%s %s %.1f s of %g s (at %.1f s)", over == "" ? "" : ",", step_of(prev), wait, b, prevt)
            }
        }
        BEGIN { first = 1; road = 1; worst = -1 }
        match($0, /^module-sim +[0-9.]+ s: /) {
            split($0, field, " +")
            t = field[2] + 0
            text = substr($0, RLENGTH + 1)
            kind = ""
            if (text ~ /^faults cleared/) {
                if (road && flasher_end != "") waited(flasher_end + 0, "ended")
                prev = ""; first = 1; road = 0; next
            }
            if (text == "port opened") kind = "opened"
            else if (text == "port closed") kind = "closed"
            else if (text ~ /^command "/) kind = text
            else if (text ~ /^chunk [0-9]+$/) kind = "chunk"
            # A chunk that the module took only in part: the flasher sent it and waits for its acknowledgement.
            else if (text ~ /^(hung up|power lost) at chunk [0-9]+$/) kind = "chunk"
            if (kind == "") next
            waited(t, kind)
            if (prev == "opened") first = 0
            prev = kind; prevt = t
        }
        END {
            print (worst < 0 ? "no wait" : line)
            if (over != "") { print "too long:" over; exit 1 }
        }' "$1"
}

# The road's outcome from its folder $1 (road.log, film/): sets status (the
# flasher's), flasher_end (when the flasher ended, on the module's clock),
# marker, marker_time (s from the road's start), restarts (how many), delay
# (s from the marker to the restart) and pages (the filmed pages by number,
# e.g. "16 15").
# shellcheck disable=SC2034 # the outcome is for the caller
read_road_outcome() {
    local dir=$1 time text start="" marker_at="" restart_at=""
    status="" flasher_end="" marker="" marker_time="" restarts=0 delay=none pages=""
    while read -r time text; do
        [ -n "$start" ] || start=$time
        case "$text" in
            "upgrade: ModuleFlasher ended with status "*)
                status=${text##* }
                flasher_end=$(awk -v a="$(cat "$dir/module.start")" -v b="$time" 'BEGIN { printf "%.3f", b - a }')
                ;;
            "upgrade: created "*) marker=${text##*/}; marker_at=$time ;;
            sysmgr_reboot:*) restarts=$((restarts + 1)); restart_at=$time ;;
        esac
    done <"$dir/road.log"
    [ -z "$marker_at" ] || marker_time=$(seconds_between "$start" "$marker_at")
    [ -z "$marker_at" ] || [ -z "$restart_at" ] ||
        delay=$(seconds_between "$marker_at" "$restart_at")
    local frames=("$dir"/film/frame-*.png)
    if [ -e "${frames[0]}" ]; then
        pages=$("$road_picture" --name-pages english "${frames[@]}" | awk '{ printf "%s%s", sep, $2; sep = " " }')
    fi
}

# The checks every faulty road must pass, appended to the caller's array
# `problems` (read_road_outcome, run_road_and_retry and stop_module first):
# the flasher's status is 0 only when the module reports new_version after
# the road, and 1 then only when the module kept the image the flasher could
# not confirm (allow_unconfirmed=1: the accept was given); the marker and the
# pages 16 then 15 (0) or 17 (1) match it; one restart 15 s after the marker;
# the sandbox ended with 0; the retry ended with 0 and the module then
# reports new_version (retry_recovers=0: a module that never takes the new
# firmware, whose retry fails as the road did); no wait beyond its bound
# (check_waits; the result in longest_wait).
# shellcheck disable=SC2034 # longest_wait is for the caller
check_faulty_road() {
    local dir=$1 allow_unconfirmed=$2 retry_recovers=${3:-1}
    if [ "$status" = 0 ] && [ "$road_version" != "$new_version" ]; then
        problems+=("status 0 but the module reports \"$road_version\"")
    elif [ "$status" = 1 ] && [ "$road_version" = "$new_version" ] && [ "$allow_unconfirmed" != 1 ]; then
        problems+=("status 1 but the module reports the target \"$road_version\"")
    elif [ "$status" != 0 ] && [ "$status" != 1 ]; then
        problems+=("flasher status ${status:-none}")
    fi
    local expected_marker=wifi.started expected_pages="16 15"
    [ "$status" = 0 ] || expected_marker=wifiupgrade.failed expected_pages="16 17"
    [ "$marker" = "$expected_marker" ] || problems+=("marker ${marker:-none}, $expected_marker expected")
    [ "$pages" = "$expected_pages" ] || problems+=("pages \"$pages\", \"$expected_pages\" expected")
    [ "$restarts" = 1 ] || problems+=("$restarts restarts")
    if [ "$delay" = none ]; then
        problems+=("no restart after the marker")
    else
        awk -v d="$delay" 'BEGIN { exit !(d >= 14.9 && d < 20) }' || problems+=("restart $delay s after the marker")
    fi
    [ "$road_status" = 0 ] || problems+=("the sandbox ended with status $road_status")
    if [ "$retry_recovers" = 1 ]; then
        [ "$retry_status" = 0 ] || problems+=("the retry ended with status $retry_status")
        [ "$module_version" = "$new_version" ] || problems+=("after the retry the module reports \"$module_version\"")
    elif [ "$retry_status" != 1 ] || [ "$module_version" = "$new_version" ]; then
        problems+=("the retry ended with status $retry_status, the module reports \"$module_version\"")
    fi
    local waits
    waits=$(check_waits "$dir/module.log" "$flasher_end") || problems+=("$(sed -n 2p <<<"$waits")")
    longest_wait=$(head -n 1 <<<"$waits")
}
