# Shared by the scripts that measure the whole program's CPU from outside
# (metering_cpu.sh, scan_cpu.sh); sourced, not run. The caller sets `name`
# (for messages) and `build` (the build folder) first.

for program in kelvora kelvora-sim; do
    if [ ! -x "$build/$program" ]; then
        echo "$name: $build/$program is missing; build first" >&2
        exit 1
    fi
done

# A temporary folder of the run's own: settings, runtime and lock folders, so
# that the user's preferences and guard are never touched. Kept with
# KELVORA_BENCH_KEEP=1. Every process put into pids is killed at the end.
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-$name.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ "${KELVORA_BENCH_KEEP:-0}" = 1 ]; then
        echo "$name: kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
mkdir -p "$work/config/Quelmar" "$work/run" "$work/lock"
chmod 700 "$work/run"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" KELVORA_LOCK_DIR="$work/lock"

put_bytes() {
    local b oct
    for b in "$@"; do
        printf -v oct '\\0%03o' "$b"
        printf '%b' "$oct"
    done
}

# write_config FILE BLOCK: a configuration file of 550 bytes (header 0..5,
# the period byte 126, 63 blocks of eight input type codes, trailer 0..5, 33
# zeros); the function BLOCK m prints module m's eight codes.
write_config() {
    local file=$1 block=$2 m size
    {
        put_bytes 0 1 2 3 4 5
        put_bytes 126
        for m in $(seq 63); do
            # shellcheck disable=SC2046
            put_bytes $("$block" "$m")
        done
        put_bytes 0 1 2 3 4 5
        for _ in $(seq 33); do put_bytes 0; done
    } > "$file"
    size=$(stat -c %s "$file")
    [ "$size" -eq 550 ] || { echo "$name: $file has $size bytes" >&2; exit 1; }
}

# start_simulator ARGS...: kelvora-sim on a pty published at $work/ttyBUS,
# with ARGS (the modules); sets link and sim_pid.
start_simulator() {
    link="$work/ttyBUS"
    "$build/kelvora-sim" --link "$link" --no-stdin "$@" > "$work/sim.log" 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.1; done
    [ -e "$link" ] || { echo "$name: the simulator did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
}

# write_preferences DATALOG DATAFILE: Kelvora's settings for the run, the
# simulator as the port, AutoStart on the configuration $work/bus.cfg.
write_preferences() {
    cat > "$work/config/Quelmar/QMRTD.conf" <<EOF
[Preferences]
AutoStart=1
Datalog=$1
ShowOptions=0
Comport=$link
Temperature=Celsius
Period=126
Config_File=$work/bus.cfg
DataFile=$2
EOF
}

# start_xvfb: an X server of the run's own, on the display KELVORA_BENCH_DISPLAY
# names (default a random one from :150 to :249), as DISPLAY for what follows;
# its screen is xvfb_screen when the caller sets it, else 1024x768x24.
start_xvfb() {
    display=${KELVORA_BENCH_DISPLAY:-":$((150 + RANDOM % 100))"}
    Xvfb "$display" -screen 0 "${xvfb_screen:-1024x768x24}" -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=$display QT_QPA_PLATFORM=xcb
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

# start_kelvora: the program, started in the checkout as a user would start
# it there, its output in kelvora.log; sets kelvora_pid.
start_kelvora() {
    (cd "$root" && exec "$build/kelvora") > "$work/kelvora.log" 2>&1 &
    kelvora_pid=$!
    pids+=("$kelvora_pid")
}

# main_window_at_origin: waits up to 30 s for Kelvora's main window, moves
# it to the screen's top left corner and sets main to its id.
main_window_at_origin() {
    for _ in $(seq 300); do
        xdotool search --onlyvisible --name '^KELVORA$' >/dev/null 2>&1 && break
        sleep 0.1
    done
    main=$(xdotool search --onlyvisible --name '^KELVORA$' | head -1)
    xdotool windowmove --sync "$main" 0 0
}

# utime + stime of a process in clock ticks.
cpu_ticks() {
    local stat
    read -r stat < "/proc/$1/stat"
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo $(( ${12} + ${13} ))
}
