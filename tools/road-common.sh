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
