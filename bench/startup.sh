#!/usr/bin/env bash
# Time from launch to the first shown window: Kelvora against a bare Qt
# window (bench/bare_window) on the same machine in the same run. The goal:
# Kelvora within 1.5 times the bare window.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]     (default build, 20)
#
# Both start under one Xvfb display, in turn (Kelvora, bare window, Kelvora,
# ...), each timed by bench/startup_window from just before it is started to
# the X server's note that its first top-level window was mapped, then
# killed. Kelvora starts as on any day but the first: from a settings folder
# of its own that already holds its preferences (AutoStart off), with a
# runtime folder of its own for its single-instance lock.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
runs=${2:-20}
for program in "$build/kelvora" "$build/bench/bare_window" "$build/bench/startup_window"; do
    if [ ! -x "$program" ]; then
        echo "startup: $program is missing; build it first (scripts/build.sh)" >&2
        exit 1
    fi
done

tmp=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/config/Quelmar" "$tmp/run" "$tmp/work"
chmod 700 "$tmp/run"
cat > "$tmp/config/Quelmar/QMRTD.conf" <<PREFS
[Preferences]
AutoStart=0
Datalog=0
ShowOptions=1
Comport=ttyS0
Temperature=Celsius
Period=63
Top=0
Left=0
Height=0
Width=0
Config_File=rtd.cfg
DataFile=rtd_data
PREFS

# Xvfb picks a free display itself and writes its number here; -noreset,
# since a server that starts afresh when its last client leaves refuses the
# next start's connection meanwhile.
exec 3>"$tmp/display"
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
DISPLAY=":$(head -n 1 "$tmp/display")"
export DISPLAY
export XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
unset QT_QPA_PLATFORM

cd "$tmp/work"
"$build/bench/startup_window" "$runs" -- "$build/kelvora" -- "$build/bench/bare_window"
