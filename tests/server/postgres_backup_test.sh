#!/bin/bash
# --backup and --restore on a PostgreSQL store print the pg_dump and
# pg_restore commands and end with status 2; the printed commands, run as
# they are, take the class out and put it back.
# Run under tests/page/with-postgres.sh, which sets VELMORANT_DATABASE.
# Usage: bash postgres_backup_test.sh <velmorant-server> <scratch-dir>
set -euo pipefail
fail() {
    echo "postgres_backup_test: FAIL: $*" >&2
    exit 1
}
server=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/class"
export QT_QPA_PLATFORM=offscreen
db=(--database "$VELMORANT_DATABASE")
dump="$scratch/it's the class.dump"

"$server" "${db[@]}" --samples --add-learner aoi "$scratch/class" >/dev/null 2>&1
status=0
"$server" "${db[@]}" --backup "$dump" "$scratch/class" >"$scratch/backup.sh" 2>"$scratch/err" || status=$?
[ "$status" = 2 ] || fail "--backup on PostgreSQL ends with $status: $(cat "$scratch/err")"
grep -q pg_dump "$scratch/err" || fail "the message does not name pg_dump: $(cat "$scratch/err")"
bash "$scratch/backup.sh" || fail "the printed command fails: $(cat "$scratch/backup.sh")"

"$server" "${db[@]}" --remove-learner aoi "$scratch/class" >/dev/null 2>&1
status=0
"$server" "${db[@]}" --restore "$dump" "$scratch/class" >"$scratch/restore.sh" 2>"$scratch/err" || status=$?
[ "$status" = 2 ] || fail "--restore on PostgreSQL ends with $status"
bash "$scratch/restore.sh" >/dev/null 2>&1 || fail "the printed command fails: $(cat "$scratch/restore.sh")"
[ "$("$server" "${db[@]}" --learners "$scratch/class" 2>/dev/null)" = aoi ] ||
    fail "the restored database lacks the learner"
[ ! -e "$scratch/class/velmorant.sqlite" ] || fail "a SQLite store was made beside the class"
echo "postgres backup test passed"
