# Shared by the server's shell tests; the test sets `server`, `scratch` and
# its own fail().
#
# Under load bash can lose the record of a child it has already reaped
# ("wait_for: No record of process") and give a command status 127. The
# helpers below tolerate that in the waits around a server's start and end,
# so that set -e never ends a test without saying which row failed.

# Runs the rest of the words; sets out, err and status.
run() {
    status=0
    timeout 20 "$@" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
    out=$(cat "$scratch/out")
    err=$(cat "$scratch/err")
}

# Starts the server on a folder in the background; waits for its address.
start() {
    "$server" --port 0 "$@" >"$scratch/served" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        grep -q '^http' "$scratch/served" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1 || true
    done
    fail "the server did not start: $(cat "$scratch/served")"
}

# Stops the server started last with a signal (TERM unless named); sets
# status to its exit status.
stop_server() {
    kill -"${1:-TERM}" "$pid" 2>/dev/null || true
    status=0
    wait "$pid" 2>/dev/null || status=$?
    pid=
}

# The name of a SQLite store's cookie of a kind (session, teacher, device):
# it ends in an id the server makes from the store's device key.
cookie_name() {
    python3 - "$1" "$2" <<'PY'
import hashlib, sqlite3, sys
key = bytes.fromhex(sqlite3.connect(sys.argv[1]).execute('SELECT secret FROM device_key').fetchone()[0])
digest = hashlib.sha256(b'cookie names\n' + key).hexdigest()
print('velmorant_' + sys.argv[2] + '_' + digest[:8])
PY
}

# A command that ends the test under set -e names its line.
trap 'echo "${0##*/}: status $? at line $LINENO" >&2' ERR
