#!/bin/bash
# A folder of the last release, opened by this one (on SQLite, or on
# PostgreSQL when VELMORANT_DATABASE is set by tests/page/with-postgres.sh):
#   - --learners reads it as it is, without bringing it up to date;
#   - served, its learners become one class named after the folder, sign in
#     with their old codes, and keep their answers and marks, each answer's
#     success, attempt and duration kept beside its statement;
#   - the old teacher password is the administrator's (管理者).
# Usage: bash last_release_test.sh <velmorant-server> <scratch-dir>
set -euo pipefail
fail() {
    echo "last_release_test: FAIL: $*" >&2
    [ -z "${pid:-}" ] || kill "$pid" 2>/dev/null || true
    exit 1
}
server=$1
scratch=$2
rm -rf "$scratch"
work="$scratch/理科1A"
mkdir -p "$work"
export QT_QPA_PLATFORM=offscreen
. "$(dirname "$0")/command_lib.sh"
fixture="$(dirname "$0")/last-release-store.sql"

db=()
if [ -n "${VELMORANT_DATABASE:-}" ]; then
    db=(--database "$VELMORANT_DATABASE")
    sql() { psql -qtA "$VELMORANT_DATABASE" -c "$1"; }
    psql -q "$VELMORANT_DATABASE" -f "$fixture" >/dev/null
else
    sql() { sqlite3 "$work/velmorant.sqlite" "$1"; }
    sqlite3 "$work/velmorant.sqlite" <"$fixture"
fi

run "$server" "${db[@]}" --samples --learners "$work"
[ "$status" = 0 ] && [ "$out" = $'aoi\nren' ] || fail "--learners on the old store: $status $out $err"
[ "$(sql 'SELECT version FROM schema_version')" = 7 ] || fail "--learners brought the store up to date"

start "${db[@]}" "$work"
url=$(grep -m1 '^http' "$scratch/served")
post() {
    curl -s -o "$scratch/body" -D "$scratch/head" -w '%{http_code}' -H "Origin: ${url%/}" \
        -H 'Content-Type: application/json' --data "$2" "$url$1"
}
[ "$(post api/signin '{"code":"S7VN3ND4"}')" = 200 ] || fail "aoi's old code: $(cat "$scratch/body")"
[ "$(post api/signin '{"code":"9ER25NSP"}')" = 200 ] || fail "ren's old code: $(cat "$scratch/body")"
[ "$(post api/teacher/signin '{"name":"管理者","password":"password1"}')" = 200 ] ||
    fail "the old password as the administrator's: $(cat "$scratch/body")"
teacher=$(grep -io "velmorant_teacher_[0-9a-f]*=[0-9a-f]*" "$scratch/head")
classes=$(curl -s -H "Cookie: $teacher" "${url}api/teacher/classes")
[[ "$classes" == *'"admin":true'* && "$classes" == *'"learners":2'* &&
    "$classes" == *'"name":"理科1A"'* ]] || fail "one class named after the folder: $classes"
stop_server
pid=

kept=$(sql "SELECT (SELECT count(*) FROM statements WHERE learner = 'aoi') || ' ' ||
    (SELECT count(*) FROM marks WHERE learner = 'aoi' AND record LIKE '%見出し%') || ' ' ||
    (SELECT count(*) FROM learners l JOIN classes c ON c.id = l.class_id
     WHERE c.name = '理科1A' AND l.display_name = l.name)")
[ "$kept" = "1 1 2" ] || fail "answers, marks and learners kept in the class: $kept"
# The answer's success, attempt and duration kept beside its statement.
answer=$(sql "SELECT success || ' ' || attempt || ' ' || duration_ms FROM statements")
[ "$answer" = "1 1 40" ] || fail "the old statement's answer kept: $answer"
echo "last release test passed"
