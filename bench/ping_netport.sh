#!/usr/bin/env bash
# How long the window takes to answer while its bus is a network port and
# the network misbehaves. The goal: the main window answers within 250 ms at
# all times, whatever the network does, even when packets to the host are
# dropped.
#
#   bench/ping_netport.sh [BUILD_DIR]      (default build)
#
# Environment: KELVORA_BENCH_DISPLAY and KELVORA_BENCH_KEEP, as for
# bench/ping_latency.sh.
#
# It runs Kelvora as ping_latency.sh does, under Xvfb, with a settings
# folder, guard folder (KELVORA_LOCK_DIR) and simulator of its own, metering
# a configuration of all 63 modules (AutoStart), while ping_window sends the
# main window a _NET_WM_PING every 50 ms and times each answer. The Comport
# preference names a network port on 127.0.0.1; as the port is read at
# start, Kelvora is started anew, with a pinger of its own, for each port:
#   - ser2net (/usr/sbin/ser2net, RFC 2217 and raw, as tests/support/ser2net
#     runs it) in front of the simulator's pty, modules 1 to 63 and the relay
#     modules: metering through rfc2217://, ser2net killed (every connect
#     refused from then), ser2net started again (readings again), then STOP
#     and the VRX-RTD debug page polling relay module 1 through rfc2217://;
#     metering and polling while ser2net is stopped (SIGSTOP: the
#     connection stays up and nothing answers);
#     then metering through tcp:// to ser2net's raw port;
#   - packets to the host dropped: a listener (python3) whose accept queue
#     is full (listen(0), never accepting, and filler connections), so every
#     SYN is dropped and a connect never completes nor fails, beyond the
#     port's patience of 5 s;
#   - a server that accepts and never answers (python3: it reads forever),
#     on rfc2217://, beyond the port's 3 s for the Telnet option talk;
#   - a host name that does not resolve (rfc2217://nosuchhost.invalid:4001);
#   - metering through kelvora-sim --listen tcp://127.0.0.1:0 directly.
#
# The report is ping_latency.sh's: one line per situation with pings sent and
# answered, the longest answer, the median, the 99th percentile and the
# number over 250 ms; then the datalog's module reads and failed reads
# ("----") in each metering stretch, which shows whether the bus worked.
#
# Needs Xvfb, xdpyinfo, xdotool, python3, /usr/sbin/ser2net and the programs
# kelvora, kelvora-sim and bench/ping_window of BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
ser2net=/usr/sbin/ser2net

name=ping_netport
# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh
# shellcheck source=bench/ping_common.sh
. bench/ping_common.sh
if [ ! -x "$ser2net" ]; then
    echo "$name: $ser2net is missing; run scripts/setup.sh" >&2
    exit 1
fi

block() { echo 1 1 2 3 4 5 1 0; }
write_config "$work/bus.cfg" block
start_simulator --modules 1-63 --relay
pty=$link

# --- ser2net in front of the pty ------------------------------------------------
# listening PORT: whether something listens on 127.0.0.1:PORT, as the kernel's
# table says (a connection to find out would make ser2net open the pty).
listening() {
    local local_address
    local_address=$(printf '0100007F:%04X' "$1")
    awk -v a="$local_address" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}
read -r rfc2217_port raw_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
connector="serialdev,$pty,19200n81,local"
cat > "$work/ser2net.yaml" <<EOF
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc2217_port
  connector: $connector
  options:
    max-connections: 2
connection: &raw
  accepter: tcp,127.0.0.1,$raw_port
  connector: $connector
  options:
    max-connections: 2
EOF
ser2net_pid=""
# start_ser2net: ser2net in the foreground, until both ports listen.
start_ser2net() {
    "$ser2net" -n -d -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >> "$work/ser2net.log" 2>&1 &
    ser2net_pid=$!
    pids+=("$ser2net_pid")
    for _ in $(seq 100); do
        listening "$rfc2217_port" && listening "$raw_port" && return 0
        sleep 0.1
    done
    echo "$name: ser2net does not listen" >&2
    cat "$work/ser2net.log" >&2
    exit 1
}
# freeze_ser2net, thaw_ser2net: ser2net stopped (SIGSTOP) and let go on; the
# connection stays up, and nothing comes back meanwhile.
freeze_ser2net() { kill -STOP "$ser2net_pid"; }
thaw_ser2net() { kill -CONT "$ser2net_pid"; }
# kill_ser2net: as a crash or a power cut would stop it; connects are
# refused from then.
kill_ser2net() {
    kill -KILL "$ser2net_pid" 2>/dev/null || true
    wait "$ser2net_pid" 2>/dev/null || true
}

# --- servers that misbehave -------------------------------------------------------
# start_server NAME PROGRAM: a python3 server that prints its port first;
# sets server_port.
start_server() {
    python3 -c "$2" > "$work/$1.port" 2> "$work/$1.log" &
    pids+=($!)
    server_port=""
    for _ in $(seq 100); do
        read -r server_port < "$work/$1.port" 2>/dev/null || true
        [ -n "$server_port" ] && return 0
        sleep 0.05
    done
    echo "$name: the $1 server did not start" >&2
    cat "$work/$1.log" >&2
    exit 1
}
# A full accept queue: listen(0) holds one connection that is never
# accepted; the fillers after it stay unanswered, as every SYN is dropped.
full_queue='
import socket, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(0)
fillers = []
for _ in range(3):
    c = socket.socket()
    c.setblocking(False)
    try:
        c.connect(s.getsockname())
    except BlockingIOError:
        pass
    fillers.append(c)
print(s.getsockname()[1], flush=True)
time.sleep(3600)'
# A server that takes every connection and reads it forever, never writing.
silent_server='
import select, socket
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 0))
s.listen(8)
print(s.getsockname()[1], flush=True)
open_sockets = [s]
while True:
    for x in select.select(open_sockets, [], [])[0]:
        if x is s:
            open_sockets.append(s.accept()[0])
        elif not x.recv(4096):
            open_sockets.remove(x)
            x.close()'

# --- Kelvora on one port ------------------------------------------------------------
runs=0
shown_report=()
# start_on COMPORT: Kelvora started anew with COMPORT as its port, metering
# (AutoStart), with a pinger of its own. The time to its window (which
# follows the automatic start's send of the configuration) goes to the
# report.
start_on() {
    local started
    runs=$((runs + 1))
    link=$1 write_preferences 1 "$work/plant"
    started=$(date +%s.%N)
    start_kelvora
    wait_for KELVORA 60 || true
    shown_report+=("$(awk -v port="$1" -v from="$started" -v to="$(date +%s.%N)" \
        'BEGIN { printf "%-44s %5.1f s", port, to - from }')")
    show_main
    start_pinger "$runs"
}
# stop_kelvora: the pinger reports, Kelvora ends.
stop_kelvora() {
    stop_pinger
    import -window root "$work/run$runs.png" 2>/dev/null || true
    kill "$kelvora_pid" 2>/dev/null || true
    wait "$kelvora_pid" 2>/dev/null || true
}

# send_again WHAT: STOP, and START, which sends the configuration of the 63
# modules, each through an Open that fails.
send_again() {
    stop_button
    settle "after STOP" 1
    situation "START, send config, $1"
    stop_button
    through_box "Sending Configuration" send
    settle "after send" 1
}

start_xvfb

# --- the situations ---------------------------------------------------------------
# Metering reads one module a second; every stretch ends within the first
# 63 ticks of the period of 126.
start_ser2net
start_on "rfc2217://127.0.0.1:$rfc2217_port"
metering "rfc2217 ser2net, modules answer" 6 nothing
metering "rfc2217, ser2net frozen (SIGSTOP)" 6 freeze_ser2net
thaw_ser2net
settle "after thaw" 2
metering "rfc2217, ser2net killed (refused)" 6 kill_ser2net
metering "rfc2217, ser2net started again" 8 start_ser2net
stop_button
settle "after STOP" 1
enable_debug_page
settle "after Enable" 2
situation "rfc2217, debug page polling relay module 1"
sleep 6
situation "rfc2217, debug page, ser2net frozen"
freeze_ser2net
sleep 6
thaw_ser2net
settle "after thaw" 2
stop_kelvora

start_on "tcp://127.0.0.1:$raw_port"
metering "tcp ser2net raw, modules answer" 6 nothing
stop_kelvora
kill_ser2net

start_server full_queue "$full_queue"
start_on "rfc2217://127.0.0.1:$server_port"
metering "rfc2217, SYN dropped (accept queue full)" 12 nothing
send_again "SYN dropped"
stop_kelvora

start_server silent "$silent_server"
start_on "rfc2217://127.0.0.1:$server_port"
metering "rfc2217, server accepts, never answers" 8 nothing
send_again "server never answers"
stop_kelvora

start_on "rfc2217://nosuchhost.invalid:4001"
metering "rfc2217, host name does not resolve" 6 nothing
stop_kelvora

"$build/kelvora-sim" --listen tcp://127.0.0.1:0 --modules 1-63 --no-stdin \
    > "$work/sim-listen.log" 2>&1 &
pids+=($!)
listen_address=""
for _ in $(seq 100); do
    read -r listen_address < "$work/sim-listen.log" 2>/dev/null || true
    [ -n "$listen_address" ] && break
    sleep 0.05
done
[ -n "$listen_address" ] || { echo "$name: the listening simulator did not start" >&2; exit 1; }
start_on "$listen_address"
metering "tcp kelvora-sim --listen, modules answer" 6 nothing
stop_kelvora

echo "window answers to _NET_WM_PING every 50 ms, Xvfb, network ports on 127.0.0.1 ($build)"
head -1 "$work/ping1.out"
for run in $(seq "$runs"); do tail -n +2 "$work/ping$run.out" | grep -v '^~' || true; done
echo
echo "from start to the main window shown (the automatic start sends first)"
printf '%s\n' "${shown_report[@]}"
echo
echo "module reads in the metering stretches (datalog rows)"
printf '%s\n' "${reads_report[@]}"
