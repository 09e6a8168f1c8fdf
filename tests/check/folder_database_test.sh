#!/bin/bash
# velmorant-check on a server's folder whose velmorant.conf names a
# PostgreSQL database: --report and --due read that database's answers
# without --database, as the server's commands do; a different --database
# is refused by the file's line, and nothing is written.
#
# Run under with-postgres.sh, which sets VELMORANT_DATABASE.
# Usage: bash folder_database_test.sh <velmorant-server> <velmorant-check> <scratch-dir>
set -euo pipefail

fail() {
    echo "folder_database_test: FAIL: $*" >&2
    exit 1
}

server=$1 check=$2 scratch=$3
database=${VELMORANT_DATABASE:?run under with-postgres.sh}
rm -rf "$scratch"
mkdir -p "$scratch"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p -m 700 "$scratch/runtime"

run() {
    status=0
    timeout 30 "$@" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
    out=$(cat "$scratch/out")
    err=$(cat "$scratch/err")
}

# aoi answers problem 1 of the first series, into the folder's database.
class=$scratch/class
mkdir "$class"
printf 'database = %s\n' "$database" >"$class/velmorant.conf"
code=$(timeout 20 "$server" --samples --add-learner aoi "$class" | tail -n 1)
"$server" --port 0 "$class" >"$scratch/served" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    grep -q '^http' "$scratch/served" && break
    sleep 0.1
done
url=$(grep -m 1 '^http' "$scratch/served") || fail "the server did not start: $(cat "$scratch/served")"
# The page's own client sends each action with its state's number and key.
lib=$(cd "$(dirname "$0")/../page" && pwd)/serverLib.mjs
timeout 30 node --input-type=module -e "
import { client, check } from '$lib';
const aoi = client('$url');
check((await aoi.signIn('$code')).status === 200, 'aoi signs in');
await aoi.post('/api/open', { entry: 1 });
for (const [term, frame] of [0, 0, 0, 0, 1, 1, 1, 2, 2, 2].entries()) {
  const r = await aoi.post('/api/move', { term, frame });
  check(r.status === 200, 'move ' + term + ': ' + r.status + ' ' + r.text);
}" || fail "aoi could not answer"
kill $pid
wait $pid || true
[ ! -e "$class/velmorant.sqlite" ] || fail "the server made a SQLite file beside its database"

run "$check" --report "$scratch/report" "$class"
[ "$status" = 0 ] && [[ "$out" == *"学習者 1人、答え合わせ 1回"* ]] ||
    fail "--report without --database: $status $out $err"
[ ! -e "$class/velmorant.sqlite" ] || fail "--report made a SQLite file"
run "$check" --due "$class"
[ "$status" = 0 ] && [[ "$out" == *aoi* ]] || fail "--due without --database: $status $out $err"
echo "--report and --due: the answers in the database velmorant.conf names"

run "$check" --report "$scratch/other" --database "postgresql://velmorant@/other" "$class"
[ "$status" = 2 ] && [[ "$err" == *"velmorant.conf」の1行目"* ]] && [ ! -e "$scratch/other" ] ||
    fail "a different --database: $status $err"
run "$check" --due --database "postgresql://velmorant@/other" "$class"
[ "$status" = 2 ] && [[ "$err" == *"velmorant.conf」の1行目"* ]] || fail "--due, a different --database: $status $err"
echo "a --database other than velmorant.conf's: refused"
echo "folder_database_test: PASS"
