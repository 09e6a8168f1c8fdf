#!/bin/bash
# A teacher's first hour with velmorant-server, and a class folder's own
# velmorant.conf:
#   - a folder without ZQCList.TXT is refused (and not made) unless
#     --samples asks for the samples;
#   - a command without --database uses the database the folder's file
#     names, so the server running on it accepts the learner's code; a
#     different --database is refused, as is an unknown key (by its line);
#   - a port named (velmorant.conf, --port) and taken stops the server;
#     the default port taken moves on to the next, which is printed;
#   - --listen 0.0.0.0 prints addresses a learner can open;
#   - the teacher's password from a pipe is one line; on a terminal it is
#     asked twice, not shown, and a mismatch sets nothing.
#
# Run under with-postgres.sh, which sets VELMORANT_DATABASE.
# Usage: bash folder_settings_test.sh <velmorant-server> <scratch-dir>
set -euo pipefail

fail() {
    echo "folder_settings_test: FAIL: $*" >&2
    exit 1
}

server=$1
scratch=$2
database=${VELMORANT_DATABASE:?run under with-postgres.sh}
rm -rf "$scratch"
mkdir -p "$scratch"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p -m 700 "$scratch/runtime"
. "$(dirname "$0")/command_lib.sh"

# A failing row leaves no server behind.
trap '[ -z "${pid:-}" ] || kill "$pid" 2>/dev/null' EXIT

# POSTs JSON with the page's origin; prints the status.
post() {
    curl -s -o /dev/null -w '%{http_code}' -H "Origin: ${1%/}" -H 'Content-Type: application/json' \
        --data "$3" "$1${2#/}" || true
}

# A mistyped folder is neither made nor filled.
class=$scratch/class
run "$server" --add-learner aoi "$scratch/clas"
[ "$status" = 2 ] && [[ "$err" == *"「$scratch/clas」"*"--samples"* ]] && [ ! -e "$scratch/clas" ] ||
    fail "a missing folder: $status $err"
mkdir "$scratch/empty"
run "$server" --port 0 "$scratch/empty"
[ "$status" = 2 ] && [[ "$err" == *ZQCList.TXT* ]] && [ -z "$(ls "$scratch/empty")" ] ||
    fail "a folder without ZQCList.TXT: $status $err"
run "$server" --samples --learners "$class"
[ -f "$class/ZQCList.TXT" ] || fail "--samples did not give the samples: $err"
echo "a folder without ZQCList.TXT: refused, and given the samples with --samples"

# The folder's database for every command, whatever the command line omits.
printf '# class 3-A\ndatabase = %s   # the school'"'"'s\n\nsign-out-after = 20\n' "$database" >"$class/velmorant.conf"
start --database "$database" "$class"
url=$(grep -m 1 '^http' "$scratch/served")
run "$server" --add-learner aoi "$class"
[ "$status" = 0 ] && [ ! -e "$class/velmorant.sqlite" ] || fail "--add-learner without --database: $status $err"
answer=$(post "$url" /api/signin "{\"code\":\"$(tail -n 1 "$scratch/out")\"}")
stop_server
[ "$answer" = 200 ] || fail "the server refused the code --add-learner made: $answer"
run "$server" --database "postgresql://velmorant@/other" --learners "$class"
[ "$status" = 2 ] && [[ "$err" == *"velmorant.conf」の2行目"* ]] || fail "a different --database: $status $err"
cp "$class/velmorant.conf" "$scratch/kept.conf"
printf 'prot = 8080\n' >>"$class/velmorant.conf"
run "$server" --learners "$class"
[ "$status" = 2 ] && [[ "$err" == *"velmorant.conf」の5行目"*prot* ]] || fail "an unknown key: $status $err"
cp "$scratch/kept.conf" "$class/velmorant.conf"
echo "velmorant.conf: its database for every command; another --database and an unknown key refused"

# A port named and taken stops the server (another class's server may be on
# it, and the port is on the code cards); only the default port moves on,
# and says so. The default port is tried in a network of the test's own.
start "$class"
url=$(grep -m 1 '^http' "$scratch/served")
taken=${url##*:}
taken=${taken%/}
other=$scratch/other
run "$server" --samples --learners "$other"
printf 'port = %s\n' "$taken" >"$other/velmorant.conf"
run "$server" "$other"
[ "$status" = 2 ] && [[ "$err" == *"ポート $taken（velmorant.conf で指定）は、ほかのプログラム"* ]] &&
    [[ "$out" != *http* ]] || fail "a port named in velmorant.conf and taken: $status $out $err"
rm "$other/velmorant.conf"
run "$server" --port "$taken" "$other"
[ "$status" = 2 ] && [[ "$err" == *"ポート $taken（--port で指定）"* ]] || fail "--port taken: $status $out $err"
stop_server
ns=(unshare -n)
[ "$(id -u)" = 0 ] || ns=(unshare -rn)
"${ns[@]}" bash -c 'ip link set lo up || exit 1
    for folder in other third; do
        "$1" --samples "$2/$folder" >"$2/$folder.out" 2>&1 &
        for _ in $(seq 100); do grep -q "^http" "$2/$folder.out" && break; sleep 0.1; done
    done
    kill %1 %2' ports "$server" "$scratch" || fail "no network of the test's own: $(cat "$scratch"/*.out)"
grep -qx 'http://127.0.0.1:8080/' "$scratch/other.out" || fail "the first default server: $(cat "$scratch/other.out")"
grep -q 'ポート 8080 はほかのプログラムが使っているので、8081 で待ち受けます' "$scratch/third.out" &&
    grep -qx 'http://127.0.0.1:8081/' "$scratch/third.out" || fail "the default port taken: $(cat "$scratch/third.out")"
echo "a port named and taken: status 2, said; the default port taken: the next, said"

# The any-address is no address to open.
start --listen 0.0.0.0 "$class"
urls=$(grep '^http' "$scratch/served")
mine=$(hostname -I 2>/dev/null | tr ' ' '\n' | grep -E '^[0-9.]+$' || true)
[[ "$urls" != *0.0.0.0* ]] || fail "--listen 0.0.0.0 printed $urls"
if [ -n "$mine" ]; then
    first=$(head -n 1 <<<"$urls")
    host=${first#http://}
    grep -qxF "${host%%:*}" <<<"$mine" || fail "$first is none of this machine's addresses ($mine)"
    [ "$(curl -s -o /dev/null -w '%{http_code}' "$first")" = 200 ] || fail "$first does not answer"
else
    grep -q 'アドレスがありません' "$scratch/served" || fail "no address, and not said: $(cat "$scratch/served")"
fi
stop_server
echo "--listen 0.0.0.0: this machine's addresses ($(tr '\n' ' ' <<<"$urls"))"

# The teacher's password: one line from a pipe, asked twice on a terminal.
printf 'from a pipe 1\n' | timeout 20 "$server" --set-teacher-password "$class" >/dev/null 2>&1 ||
    fail "a password from a pipe was refused"
typed=$(python3 - "$server" "$class" <<'PY'
import os, pty, select, signal, sys, time
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], [sys.argv[1], '--set-teacher-password', sys.argv[2]])
seen = b''
def until(text):
    global seen
    end = time.time() + 10
    while text.encode() not in seen and time.time() < end:
        if select.select([fd], [], [], 0.2)[0]:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                return False
    return text.encode() in seen
for prompt, answer in [('出ません', 'typed secret 1'), ('もう一度', 'typed secret 2')]:
    if not until(prompt):
        break
    os.write(fd, answer.encode() + b'\n')
until('\x00')
for _ in range(30):
    ended, status = os.waitpid(pid, os.WNOHANG)
    if ended:
        break
    time.sleep(0.1)
if not ended:
    os.kill(pid, signal.SIGKILL)
    print('hung', seen.decode(errors='replace').replace('\n', ' '))
else:
    print('ended', os.waitstatus_to_exitcode(status), seen.decode(errors='replace').replace('\n', ' '))
PY
) || true
[[ "$typed" == "ended 1 "* ]] && [[ "$typed" == *"もう一度"*"違います"* ]] && [[ "$typed" != *"typed secret"* ]] ||
    fail "two different passwords on a terminal: $typed"
start "$class"
url=$(grep -m 1 '^http' "$scratch/served")
answer=$(post "$url" /api/teacher/signin '{"password":"from a pipe 1"}')
stop_server
[ "$answer" = 200 ] || fail "the piped password was not kept after the mismatch: $answer"
echo "the teacher's password: one line from a pipe; twice, unseen, on a terminal"
echo "folder_settings_test: PASS"
