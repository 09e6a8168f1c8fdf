#!/usr/bin/env bash
# velmorant-check --send-to-lrs as a teacher runs it: an authentication file
# others may read is refused; the statements the store receives pass Learning
# Locker's xAPI validation (npm @learninglocker/xapi-validation); a second run
# sends nothing again.
# Usage: statements_valid_test.sh VELMORANT_CHECK CLASS_FOLDER WORK_FOLDER
set -euo pipefail
check="$1"
class="$2"
work="$3"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work"
mkdir -p "$work"
endpoint=""
trap '[ -n "$endpoint" ] && kill "$endpoint" 2>/dev/null; true' EXIT
export QT_QPA_PLATFORM=offscreen

if [ ! -d "$here/node_modules/@learninglocker/xapi-validation" ]; then
    npm install --prefix "$here" --no-audit --no-fund --silent >/dev/null
fi

cp -r "$class" "$work/class"
printf 'teacher:secret\n' >"$work/auth"
python3 "$here/endpoint.py" "$work/port" "$work/store.jsonl" teacher:secret &
endpoint=$!
for _ in $(seq 200); do
    [ -s "$work/port" ] && break
    sleep 0.05
done
url="http://127.0.0.1:$(cat "$work/port")/xapi"

chmod 644 "$work/auth"
status=0
"$check" --send-to-lrs "$url" --lrs-auth "$work/auth" "$work/class" >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 2 ] || { echo "a readable auth file: exit $status, not 2"; exit 1; }
grep -q 'ほかの人も読めるので使いません' "$work/err" || { cat "$work/err"; exit 1; }
[ ! -e "$work/store.jsonl" ] || { echo "sent with a readable auth file"; exit 1; }

chmod 600 "$work/auth"
"$check" --send-to-lrs "$url" --lrs-auth "$work/auth" "$work/class" >"$work/out" 2>"$work/err" ||
    { cat "$work/out" "$work/err"; exit 1; }
grep -q '送った文 5件、送れなかった文 0件' "$work/out" || { cat "$work/out"; exit 1; }
grep -q 'taro.jsonl:2' "$work/err" || { echo "the damaged line was not told"; cat "$work/err"; exit 1; }
node "$here/validate.js" "$work/store.jsonl"

"$check" --send-to-lrs "$url" --lrs-auth "$work/auth" "$work/class" >"$work/out" 2>"$work/err"
grep -q '送った文 0件、送れなかった文 0件' "$work/out" || { cat "$work/out"; exit 1; }
[ "$(wc -l <"$work/store.jsonl")" = 5 ] || { echo "statements stored twice"; exit 1; }
echo ok
