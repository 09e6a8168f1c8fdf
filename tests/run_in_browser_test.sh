#!/bin/bash
# Two browser views of ./run started at the same moment (scripts/serve-in-
# browser.sh, as ./run starts it without a display):
#   - each prints an address of its own, and each address works: the noVNC
#     page loads, and through its websocket the VNC server takes the
#     password in the address and refuses another;
#   - each program's X display takes only clients with that run's X authority;
#   - Ctrl+C ends the program and both servers and leaves no secrets behind.
#
# Usage: bash run_in_browser_test.sh <velmorant> <data-dir> <scratch-dir>
set -euo pipefail

fail() {
    echo "run_in_browser_test: FAIL: $*" >&2
    exit 1
}

for tool in Xvnc websockify vncpasswd xwininfo openssl; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing (packages tigervnc-standalone-server, websockify, tigervnc-tools, x11-utils, openssl)"
done
program=$(realpath "$1")
data=$(realpath "$2")
scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(realpath "$scratch")
serve=$(dirname "$(realpath "$0")")/../scripts/serve-in-browser.sh

# Speaks VNC through the page's websocket: prints "ok" when the server
# accepts the password $3, "refused" when it does not.
vnc_login() {
    python3 - "$@" <<'PY'
import base64, os, socket, struct, subprocess, sys

port, password = sys.argv[1], sys.argv[2]
# A websocket client, as much as the page's websockify needs.
sock = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
key = base64.b64encode(os.urandom(16)).decode()
sock.sendall((f"GET /websockify HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
              f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
              "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Protocol: binary\r\n\r\n").encode())
reply = b""
while b"\r\n\r\n" not in reply:
    chunk = sock.recv(4096)
    if not chunk:
        sys.exit("the page's websocket closed")
    reply += chunk
if not reply.startswith(b"HTTP/1.1 101"):
    sys.exit(f"no websocket: {reply[:60]!r}")
frames = reply.split(b"\r\n\r\n", 1)[1]
def exactly(n):
    global frames
    while len(frames) < n:
        chunk = sock.recv(4096)
        if not chunk:
            sys.exit("the connection closed")
        frames += chunk
    out, frames = frames[:n], frames[n:]
    return out
def recvmsg():
    head = exactly(2)
    size = head[1] & 0x7F
    if size == 126:
        size = struct.unpack(">H", exactly(2))[0]
    elif size == 127:
        size = struct.unpack(">Q", exactly(8))[0]
    return exactly(size)
def sendmsg(data):
    mask = os.urandom(4)
    sock.sendall(bytes([0x82, 0x80 | len(data)]) + mask +
                 bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
buffer = b""
def read(n):
    global buffer
    while len(buffer) < n:
        buffer += recvmsg()
    out, buffer = buffer[:n], buffer[n:]
    return out
version = read(12)
if not version.startswith(b"RFB 003."):
    sys.exit(f"no VNC server behind the page: {version!r}")
sendmsg(b"RFB 003.008\n")
count = read(1)[0]
types = list(read(count))
if types != [2]:
    sys.exit(f"the server offers security types {types}, not the password alone")
sendmsg(bytes([2]))
challenge = read(16)
key = bytes(int(f"{b:08b}"[::-1], 2) for b in password.encode().ljust(8, b"\0")[:8])
answer = subprocess.run(["openssl", "enc", "-des-ecb", "-nopad", "-K", key.hex(),
                         "-provider", "legacy", "-provider", "default"],
                        input=challenge, capture_output=True, check=True).stdout
sendmsg(answer)
print("ok" if read(4) == b"\0\0\0\0" else "refused")
PY
}

starts=()
for run in a b; do
    mkdir -p "$scratch/$run/work"
    cp -R "$data/." "$scratch/$run/work/"
    env -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY bash "$serve" "$program" \
        "$scratch/$run/work" "$scratch/$run/logs" >"$scratch/$run/out" 2>&1 &
    starts+=($!)
done
# shellcheck disable=SC2317
trap 'kill -TERM "${starts[@]}" 2>/dev/null || true' EXIT

ports=()
for run in a b; do
    address=""
    for _ in $(seq 300); do
        address=$(grep -o 'http://127.0.0.1:[0-9]*/vnc.html?[^ ]*' "$scratch/$run/out" || true)
        [ -n "$address" ] && break
        sleep 0.1
    done
    [ -n "$address" ] || fail "run $run printed no address: $(cat "$scratch/$run/out")"
    port=$(sed 's|.*127.0.0.1:\([0-9]*\)/.*|\1|' <<<"$address")
    password=$(sed 's|.*[?&]password=\([A-Za-z0-9]*\).*|\1|' <<<"$address")
    ports+=("$port")
    curl -fsS -o /dev/null "http://127.0.0.1:$port/vnc.html" || fail "run $run: $address does not load"
    [ "$(vnc_login "$port" "$password")" = ok ] || fail "run $run: the password of $address is refused"
    [ "$(vnc_login "$port" nothing)" = refused ] || fail "run $run: a wrong password is taken"

    read -r display authority < <(sed -n 's/^The program runs on display \(:[0-9]*\) with the X authority \(.*\)\.$/\1 \2/p' \
        "$scratch/$run/out")
    [ -n "$display" ] || fail "run $run does not say its display"
    for _ in $(seq 100); do
        DISPLAY=$display XAUTHORITY=$authority xwininfo -root -tree 2>/dev/null |
            grep -q '"用語分類問題集 Velmorant"' && break
        sleep 0.1
    done
    DISPLAY=$display XAUTHORITY=$authority xwininfo -root -tree | grep -q '"用語分類問題集 Velmorant"' ||
        fail "run $run: no program window on $display"
    if DISPLAY=$display XAUTHORITY=/dev/null xwininfo -root >/dev/null 2>&1; then
        fail "run $run: the display $display takes clients without the cookie"
    fi
    echo "run $run: $display, page on port $port, the password in the address is needed and works"
    eval "display_$run=\$display authority_$run=\$authority"
done
[ "${ports[0]}" != "${ports[1]}" ] || fail "both runs serve on port ${ports[0]}"
[ "$display_a" != "$display_b" ] || fail "both runs use display $display_a"

trap - EXIT
kill -TERM "${starts[@]}"
for run in 0 1; do
    status=0
    wait "${starts[run]}" || status=$?
    [ "$status" = 130 ] || fail "a run ended with status $status after Ctrl+C"
done
for authority in "$authority_a" "$authority_b"; do
    [ ! -e "$(dirname "$authority")" ] || fail "$(dirname "$authority") is left behind"
done
for port in "${ports[@]}"; do
    ! ss -Hltn "sport = :$port" | grep -q . || fail "port $port still listens after Ctrl+C"
done
echo "run_in_browser_test: PASS (both ended by Ctrl+C, nothing left)"
