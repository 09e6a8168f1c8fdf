#!/usr/bin/env bash
# Serves the window of PROGRAM, started in WORK-DIR, to a web browser: a
# virtual X display with a VNC server (TigerVNC's Xvnc) and the noVNC page
# through websockify. Used by ./run where there is no display.
#
# Only the person who started it gets in: the X display takes only clients
# with this run's X authority cookie, the VNC server listens on a socket in a
# folder of this run that only its owner can open, and asks for a password
# made for this run, which the printed address carries. The web page listens
# on 127.0.0.1. Several runs at once each get a display and a port of their
# own. Ctrl+C (or SIGTERM) ends the program, then the servers.
#
# Usage: scripts/serve-in-browser.sh PROGRAM WORK-DIR LOG-DIR
set -euo pipefail
program=$(realpath "$1")
work=$2
logs=$(realpath "$3")
mkdir -p "$logs"

say() { echo "run: $*" >&2; }

# Whether a TCP port on 127.0.0.1 can be listened on. SO_REUSEADDR as the
# servers use it, so that a port a finished run left in TIME_WAIT counts as
# free.
port_free() {
    python3 -c 'import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)' "$1"
}

# Whether process $1 itself listens on TCP port $2 of 127.0.0.1.
listens() {
    ss -Hltnp "sport = :$2" 2>/dev/null | grep -q "pid=$1,"
}

pids=()
private=""
# shellcheck disable=SC2317 # called by the traps
cleanup() {
    trap - EXIT INT TERM HUP
    # The program first, then what serves its window.
    local i p
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    [ -z "$private" ] || rm -rf "$private"
}
trap cleanup EXIT
trap 'echo; echo "Ending."; exit 130' INT TERM HUP

# This run's secrets, in a folder only its owner can open.
private=$(mktemp -d "${TMPDIR:-/tmp}/velmorant-run.XXXXXXXX")
password=$(python3 -c 'import secrets, string
print("".join(secrets.choice(string.ascii_letters + string.digits) for _ in range(8)))')
vncpasswd -f <<<"$password" >"$private/vnc-password"
export XAUTHORITY=$private/Xauthority
: >"$XAUTHORITY"
cookie=$(mcookie)
# The server takes every cookie of the file whatever display it names.
xauth -q add :0 MIT-MAGIC-COOKIE-1 "$cookie"

# The X server picks a free display itself and writes its number once it
# takes clients. It and websockify run in a session of their own, so that
# Ctrl+C reaches this script, which ends the program before taking its
# display away. The number's file is made first: the server's shell opens it
# only once it runs, which on a busy machine may be after the first look.
: >"$private/display"
setsid Xvnc -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -rfbport -1 \
    -rfbunixpath "$private/vnc.socket" -SecurityTypes VncAuth -PasswordFile "$private/vnc-password" \
    -geometry 800x600 -depth 24 -desktop "用語分類問題集 Velmorant" \
    3>"$private/display" >"$logs/xvnc.log" 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
    display=$(sed -n 's/^\([0-9][0-9]*\)$/\1/p' "$private/display")
    [ -n "$display" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$display" ] || ! kill -0 "${pids[0]}" 2>/dev/null; then
    say "the virtual X display did not start; its log, $logs/xvnc.log:"
    cat "$logs/xvnc.log" >&2
    exit 1
fi
xauth -q add ":$display" MIT-MAGIC-COOKIE-1 "$cookie"
export DISPLAY=:$display

# The web page: the first port from 6080 on that websockify gets. Another
# run may take a port between the look and the start, so what counts is
# that this websockify listens on it.
web_port=""
first=${VELMORANT_WEB_PORT:-6080}
for port in $(seq "$first" $((first + 99))); do
    port_free "$port" || continue
    setsid websockify --web=/usr/share/novnc "127.0.0.1:$port" \
        --unix-target="$private/vnc.socket" >"$logs/websockify.log" 2>&1 &
    for _ in $(seq 100); do
        listens $! "$port" && { web_port=$port; break; }
        kill -0 $! 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$web_port" ] && { pids+=($!); break; }
    kill $! 2>/dev/null || true
    wait $! 2>/dev/null || true
done
if [ -z "$web_port" ]; then
    say "websockify could not listen on any port from $first to $((first + 99)); its log, $logs/websockify.log:"
    cat "$logs/websockify.log" >&2
    exit 1
fi

# In a session of its own too: Ctrl+C reaches only this script, which then
# ends the program with SIGTERM, and the program writes its pending marks.
cd "$work"
setsid "$program" >"$logs/velmorant.log" 2>&1 &
pids+=($!)
sleep 1
if ! kill -0 "${pids[2]}" 2>/dev/null; then
    say "the program ended at once; its output, $logs/velmorant.log:"
    cat "$logs/velmorant.log" >&2
    exit 1
fi

address="http://127.0.0.1:$web_port/vnc.html?autoconnect=1&resize=off&password=$password"
cat <<END

There is no display here, so the window is served to a web browser:

    $address

The address holds this run's password: keep it to yourself. Open it on this
machine; from another computer, forward the port over SSH first, then open
the same address there:

    ssh -N -L $web_port:127.0.0.1:$web_port $(id -un)@$(hostname -f 2>/dev/null || hostname)

The program runs on display $DISPLAY with the X authority $XAUTHORITY.
Ctrl+C here ends the program, the VNC server and the web page.
END
status=0
wait "${pids[2]}" || status=$?
exit $status
