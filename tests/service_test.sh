#!/bin/bash
# The package as a school's administrator meets it, on this machine (as root;
# otherwise skipped):
#   - made under umask 027, its folders are still 0755;
#   - systemd-analyze verify finds nothing in the classroom server's unit;
#   - installed with dpkg, it makes the velmorant user and /var/lib/velmorant
#     and enables no classroom server; installed again (an upgrade) it works;
#   - the unit's ExecStart, run as the unit runs it (its user, working folder,
#     environment and umask) on a class folder whose velmorant.conf sets the
#     port, answers there without a warning from Qt, lets a learner added
#     by the velmorant user sign in and open a series, stores as that user,
#     and ends on SIGTERM;
#   - purged, every file of the package is gone, and the class folder with the
#     learners' answers is still there.
#
# Usage: bash service_test.sh <build-dir> <scratch-dir>
set -euo pipefail

fail() {
    echo "service_test: FAIL: $*" >&2
    exit 1
}
skip() {
    echo "service_test: SKIP: $*"
    exit 77
}

[ "$(id -u)" = 0 ] || skip "installing the package needs root"
for tool in cpack dpkg-deb systemd-analyze systemd-sysusers setpriv curl; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
done
# A real install on this machine is not the test's to remove.
! dpkg-query -W -f='${Status}' velmorant 2>/dev/null | grep -q installed ||
    skip "the package velmorant is installed here already"

build=$(realpath "$1")
rm -rf "$2"
mkdir -p "$2"
scratch=$(realpath "$2")
class=svctest$$
folder=/var/lib/velmorant/$class
unit=/usr/lib/systemd/system/velmorant-server@.service
server=""

cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    dpkg --purge velmorant >/dev/null 2>&1 || true
    # Made by Qt, as XDG_RUNTIME_DIR, in what is the unit's private /tmp.
    rm -rf "$folder" /tmp/velmorant-runtime
    rmdir /var/lib/velmorant 2>/dev/null || true
}
trap cleanup EXIT

# ------------------------------------------------------------ the package --
(umask 027 && env -u SOURCE_DATE_EPOCH cpack -G DEB --config "$build/CPackConfig.cmake" \
    -B "$scratch/deb" >"$scratch/cpack.log" 2>&1) || fail "cpack failed: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/deb/velmorant_*.deb)
closed=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" {print $1, $6}')
[ -z "$closed" ] || fail "made under umask 027, folders are not 0755: $(echo "$closed" | head -3)"
echo "made under umask 027: every folder 0755"

dpkg -i "$deb" >"$scratch/install.log" 2>&1 || fail "dpkg -i: $(cat "$scratch/install.log")"
[ -f "$unit" ] || fail "no $unit"
cp "$unit" "$scratch/velmorant-server@$class.service"
verify=$(systemd-analyze verify --man=no "$scratch/velmorant-server@$class.service" 2>&1) ||
    fail "systemd-analyze verify: $verify"
[ -z "$verify" ] || fail "systemd-analyze verify: $verify"
echo "systemd-analyze verify: nothing to say"

getent passwd velmorant >/dev/null || fail "no user velmorant after the install"
[ "$(stat -c '%U %a' /var/lib/velmorant)" = "velmorant 750" ] ||
    fail "/var/lib/velmorant is $(stat -c '%U %a' /var/lib/velmorant)"
enabled=$(ls /etc/systemd/system/*.wants/ 2>/dev/null | grep velmorant || true)
[ -z "$enabled" ] || fail "the install enabled $enabled"
dpkg -i "$deb" >"$scratch/upgrade.log" 2>&1 || fail "installed again: $(cat "$scratch/upgrade.log")"
echo "installed (twice): the user velmorant, /var/lib/velmorant 0750, nothing enabled"

# ------------------------------------------------ the unit's command line --
# The values of KEY= in the unit, %i and %I being the class.
unit_values() {
    sed -n "s/^$1=//p" "$unit" | sed "s/%[iI]/$class/g"
}
user=$(unit_values User)
workdir=$(unit_values WorkingDirectory)
umask=$(unit_values UMask)
# ExecStart quotes the folder, as a shell would.
eval "command=($(unit_values ExecStart))"
environment=()
while read -ra words; do
    environment+=("${words[@]}")
done < <(unit_values Environment)
[ "$user" = velmorant ] && [ "$workdir" = "$folder" ] || fail "User=$user WorkingDirectory=$workdir"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
install -d -o velmorant -g velmorant -m 0750 "$folder"
setpriv --reuid=velmorant --regid=velmorant --init-groups \
    sh -c 'cp /usr/share/velmorant/samples/* "$1"' sh "$folder" ||
    fail "the velmorant user cannot copy the samples into its class folder"
printf '# written by service_test.sh\nport = %s\n' "$port" >"$folder/velmorant.conf"
chown velmorant:velmorant "$folder/velmorant.conf"
chmod 0640 "$folder/velmorant.conf"

code=$(setpriv --reuid=velmorant --regid=velmorant --init-groups \
    env -i "${environment[@]}" "${command[0]}" --add-learner aoi "$folder" 2>"$scratch/add.log" | tail -1) ||
    fail "--add-learner as velmorant: $(cat "$scratch/add.log")"

# MemoryDenyWriteExecute=yes, as the kernel gives it to a process (Linux 6.3
# and later): no memory made executable after it was writable.
deny_write_execute=()
if [ "$(unit_values MemoryDenyWriteExecute)" = yes ]; then
    deny_write_execute=(python3 -c 'import ctypes, os, sys
libc = ctypes.CDLL(None, use_errno=True)
if libc.prctl(65, 1, 0, 0, 0) != 0:
    print("service_test: no PR_SET_MDWE here, running without it", file=sys.stderr)
os.execvp(sys.argv[1], sys.argv[1:])')
fi
(cd "$workdir" && umask "$umask" &&
    exec setpriv --reuid="$user" --regid="$user" --init-groups --no-new-privs \
        env -i "${environment[@]}" "${deny_write_execute[@]}" "${command[@]}") >"$scratch/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do
    curl -sf -o /dev/null "http://127.0.0.1:$port/" && break
    kill -0 "$server" 2>/dev/null || fail "the server ended: $(cat "$scratch/server.log")"
    sleep 0.1
done
curl -sf -o /dev/null "http://127.0.0.1:$port/" ||
    fail "nothing answers on port $port from velmorant.conf: $(cat "$scratch/server.log")"
# A learner signs in and opens a series: the series read and the board laid
# out by the server under the unit's conditions.
base=http://127.0.0.1:$port
post() {
    curl -s -o "$scratch/reply" -w '%{http_code}' -b "$scratch/jar" -c "$scratch/jar" \
        -H "Origin: $base" -H 'Content-Type: application/json' --data "$2" "$base$1"
}
[ "$(post /api/signin "{\"code\":\"$code\"}")" = 200 ] || fail "aoi cannot sign in: $(cat "$scratch/reply")"
seq=$(curl -sf -b "$scratch/jar" "$base/api/state" | grep -o '"seq":[0-9]*' | head -1 | cut -d: -f2)
[ -n "$seq" ] || fail "no seq in aoi's state"
[ "$(post /api/open "{\"seq\":$seq,\"key\":\"$(openssl rand -hex 16)\",\"entry\":1}")" = 200 ] ||
    fail "aoi cannot open a series: $(cat "$scratch/reply") $(cat "$scratch/server.log")"
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=""
[ "$status" = 0 ] || fail "on SIGTERM the server ended with $status: $(cat "$scratch/server.log")"
# The journal gets the server's lines, not Qt's complaints about the
# environment the unit gives it.
! grep -E '^(QStandardPaths|qt\.)' "$scratch/server.log" ||
    fail "Qt warns under the unit's environment"
store=$(stat -c '%U %a' "$folder/velmorant.sqlite" 2>/dev/null) || fail "no velmorant.sqlite"
[ "$store" = "velmorant 600" ] || fail "velmorant.sqlite is $store"
echo "ExecStart as velmorant in $workdir: answered on port $port, a learner opened a series, ended on SIGTERM"

# ------------------------------------------------------------------ purge --
dpkg --purge velmorant >"$scratch/purge.log" 2>&1 || fail "dpkg --purge: $(cat "$scratch/purge.log")"
left=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' | while read -r f; do
    [ ! -e "$f" ] || echo "$f"
done)
[ -z "$left" ] || fail "purged, yet still there: $left"
[ -f "$folder/velmorant.sqlite" ] || fail "the purge removed the class folder's store"
grep -q "/var/lib/velmorant" "$scratch/purge.log" || fail "the purge did not say the class folders are kept"
echo "purged: the package's files gone, the class folder kept and named"
echo "service_test: PASS"
