# shellcheck shell=bash disable=SC2154
# Shared by the scripts that time the window's answer to a window-manager
# ping under Xvfb (ping_latency.sh, ping_netport.sh); sourced, not run, after
# cpu_common.sh, which sets work, pids, kelvora_pid and the display.

for tool in Xvfb xdpyinfo xdotool python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "$name: $tool is missing; run scripts/setup.sh" >&2
        exit 1
    fi
done
if [ ! -x "$build/bench/ping_window" ]; then
    echo "$name: $build/bench/ping_window is missing; build it first" >&2
    exit 1
fi

# The id of the shown top-level window with exactly this name, or nothing.
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true; }
# wait_for NAME SECONDS: until the window shows; wait_gone NAME SECONDS: until
# it is gone. Both give up quietly after SECONDS.
wait_for() { for _ in $(seq $(($2 * 20))); do [ -n "$(window "$1")" ] && return 0; sleep 0.05; done; return 1; }
wait_gone() { for _ in $(seq $(($2 * 20))); do [ -z "$(window "$1")" ] && return 0; sleep 0.05; done; return 1; }

# show_main: waits for Kelvora's main window (the automatic start sends the
# configuration before it shows), moves it to 0, 0 and sets main to its id.
show_main() {
    wait_for KELVORA 60 || { echo "$name: no Kelvora window" >&2; cat "$work/kelvora.log" >&2; exit 1; }
    main=$(window KELVORA)
    xdotool windowmove --sync "$main" 0 0
    sleep 1
}
# through_box TITLE WHAT: waits for the progress box TITLE of WHAT (a send, a
# scan) to show and to go, saying so when it does not.
through_box() {
    wait_for "$1" 5 || echo "$name: the $2 did not start" >&2
    wait_gone "$1" 120 || echo "$name: the $2 did not end" >&2
}

# start_pinger [TAG]: ping_window on the main window, its commands through
# descriptor 8 and its report in ping$TAG.out; situation NAME starts a
# situation, settle NAME [SECONDS] one left out of the report.
# shellcheck disable=SC2120
start_pinger() {
    ping_tag=${1:-}
    mkfifo "$work/ping$ping_tag.in"
    "$build/bench/ping_window" "$main" < "$work/ping$ping_tag.in" > "$work/ping$ping_tag.out" \
        2> "$work/ping$ping_tag.err" &
    ping_pid=$!
    pids+=("$ping_pid")
    exec 8> "$work/ping$ping_tag.in"
}
situation() { echo "situation $*" >&8; }
settle() { situation "~ $1"; sleep "${2:-1.5}"; }

# stop_pinger: the pinger waits for the last answers and reports; says so
# when Kelvora ended during the run.
stop_pinger() {
    echo end >&8
    wait "$ping_pid" || true
    exec 8>&-
    if ! kill -0 "$kelvora_pid" 2>/dev/null; then
        status=0
        wait "$kelvora_pid" || status=$?
        echo "$name: Kelvora ended during the run (status $status)" >&2
        cat "$work/kelvora.log" >&2
    fi
    if [ -s "$work/ping$ping_tag.err" ]; then cat "$work/ping$ping_tag.err" >&2; fi
}

# Places in the 800 x 550 window, at 0, 0.
click() { xdotool mousemove --sync "$1" "$2" click 1; }
stop_button() { click 478 469; }     # START/STOP Metering

# enable_debug_page: RTD Module Type, VRX-RTD (DEBUG only), VIEW; module 1
# with input 1 a Pt100; Enable. Metering must be stopped.
enable_debug_page() {
    click 66 9                       # Options
    sleep 0.3
    click 120 119                    # RTD Module Type
    sleep 0.5
    click 330 253                    # VRX-RTD (DEBUG only)
    click 393 300                    # VIEW
    sleep 0.5
    click 52 54                      # Module 1: green dot
    click 277 120                    # its input 1
    xdotool key Down                 # Pt100
    sleep 0.3
    click 341 438                    # Enable
}

# --- module reads per metering stretch, from the datalog ----------------------
# "rows failed": rows so far, and rows whose first reading is "----".
log_counts() {
    cat "$work"/plant_*.csv 2>/dev/null | awk -F'\t' '
        $2 ~ /^RTD Module/ { rows++; v = $3; gsub(/[ \r]/, "", v); if (v == "----") failed++ }
        END { printf "%d %d\n", rows, failed }'
}
reads_report=()
# metering NAME SECONDS COMMAND...: the situation NAME while COMMAND runs
# (set up), then SECONDS of metering in it.
metering() {
    local label=$1 seconds=$2 before after
    shift 2
    before=$(log_counts)
    situation "$label"
    "$@"
    sleep "$seconds"
    after=$(log_counts)
    reads_report+=("$(printf '%-44s reads %3d   failed %3d' "$label" \
        $(( ${after% *} - ${before% *} )) $(( ${after#* } - ${before#* } )))")
}
nothing() { :; }
