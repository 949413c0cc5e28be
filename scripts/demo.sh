#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the bus simulator on a
# pseudo-terminal and opens Kelvora on it, already metering and logging, with
# settings of its own (the user's preferences are left alone). Without a
# display, Kelvora runs under Xvfb and a screenshot of the main window is
# saved once every module has been read; the script prints where.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh
# Only what the demo runs: the program and the simulator. scripts/test.sh
# builds the rest (tests, benchmarks) into the same folder.
KELVORA_BUILD_TARGETS="kelvora kelvora-sim" scripts/build.sh build

demo_dir=${KELVORA_DEMO_DIR:-/tmp/kelvora-demo}
link="$demo_dir/ttyKELV0"
log_dir="$demo_dir/log"
mkdir -p "$demo_dir" "$log_dir"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# The bus: the demo's configuration names five modules. Four answer, one of
# them with an open sensor and one with a shorted one; module 9 does not
# answer at all.
build/kelvora-sim --link "$link" --no-stdin \
    --module 1:pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,none \
    --module 2:pt100,pt100,pt100,pt100,none,none,none,none \
    --module 5:ni100,ni100,ni120,ni120,4-20ma,4-20ma,cu10,cu10 \
    --module 17:pt100,cu10,none,none,none,none,none,none \
    --fault 2:open:3 --fault 5:shorted:2 \
    --relay > "$demo_dir/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
echo "demo: bus simulator answering on $link (log: $demo_dir/sim.log)"

# Kelvora runs on a settings folder of the demo's own, so the user's own
# preferences are never read or changed. Metering starts at once on the
# shipped configuration and logs into the demo folder. It also has a runtime
# folder of its own, where its single-instance lock lives, so it runs beside
# a Kelvora the user has open; and a bus guard of its own, since its bus is
# the simulator's line and no other program's.
export XDG_CONFIG_HOME="$demo_dir/config"
export XDG_RUNTIME_DIR="$demo_dir/run"
export KELVORA_LOCK_DIR="$demo_dir/lock"
mkdir -p "$XDG_CONFIG_HOME/Quelmar" "$KELVORA_LOCK_DIR"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cp scripts/demo/demo.cfg "$demo_dir/demo.cfg"
cat > "$XDG_CONFIG_HOME/Quelmar/QMRTD.conf" <<EOF
[Preferences]
AutoStart=1
Datalog=1
ShowOptions=1
Comport=$link
Temperature=Celsius
Config_File=$demo_dir/demo.cfg
DataFile=$log_dir/rtd_data
Period=10
Top=0
Left=0
Height=0
Width=0
EOF
echo "demo: settings in $XDG_CONFIG_HOME, datalog files in $log_dir"

kelvora_log="$demo_dir/kelvora.log"

# Says why Kelvora under Xvfb has no main window: whether it still runs and
# the windows it shows instead (a message box), or how it ended; then what it
# printed.
explain_no_window() {
    local pid=$1 status=$2
    echo "demo: Kelvora did not open its main window." >&2
    if [ "$status" = running ]; then
        local shown
        shown=$(xwininfo -root -tree 2>/dev/null |
            awk -F'"' '/\("kelvora" "Kelvora"\)/ { print "\"" $2 "\"" }' | paste -sd, -)
        echo "demo: it is still running (pid $pid)${shown:+ and shows $shown}." >&2
        case $shown in
        *'"Loading Error"'*)
            echo "demo: another Kelvora runs on the demo's folder $demo_dir" \
                "(a demo started earlier?)." >&2
            ;;
        esac
    else
        echo "demo: it ended with exit code $status." >&2
    fi
    if [ -s "$kelvora_log" ]; then
        echo "demo: its output ($kelvora_log):" >&2
        sed 's/^/    /' "$kelvora_log" >&2
    else
        echo "demo: it printed nothing." >&2
    fi
}

# On the user's display Kelvora prints to this terminal. It ends with code 0
# whatever happened inside; any other code means that it could not start on
# the display (or was killed).
if [ -n "${DISPLAY:-}" ]; then
    status=0
    "$root/build/kelvora" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "demo: Kelvora ended with exit code $status on display $DISPLAY;" \
            "its output is above." >&2
        exit 1
    fi
    exit 0
fi

# No display: run under an Xvfb of the demo's own, on a display number it
# picks itself (so that it never joins a server somebody else runs), and take
# a screenshot of the main window.
shots="$root/build/screenshots"
mkdir -p "$shots"
display_file="$demo_dir/display"
: > "$display_file"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
if [ ! -s "$display_file" ]; then
    echo "demo: Xvfb did not start" >&2
    exit 1
fi
display=":$(head -n1 "$display_file")"
export DISPLAY=$display
"$root/build/kelvora" > "$kelvora_log" 2>&1 &
kelvora_pid=$!
pids+=("$kelvora_pid")
id=""
for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"KELVORA"/ { print $1; exit }')
    [ -n "$id" ] && break
    kill -0 "$kelvora_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$id" ]; then
    if kill -0 "$kelvora_pid" 2>/dev/null; then
        import -window root "$shots/no-window.png" 2>/dev/null &&
            echo "demo: what the screen showed: $shots/no-window.png" >&2
        explain_no_window "$kelvora_pid" running
    else
        status=0
        wait "$kelvora_pid" || status=$?
        explain_no_window "$kelvora_pid" "$status"
    fi
    exit 1
fi
# The configuration goes out first, then one module a second: after eight
# seconds every module has been read once.
sleep 8
import -window "$id" "$shots/main-window.png"
echo "demo: no display here, so Kelvora ran under Xvfb."
echo "demo: screenshot of the main window: $shots/main-window.png"
