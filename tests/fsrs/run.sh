#!/bin/bash
# Runs one of the FSRS reference tests with node: installs the reference
# scheduler and optimizer (package-lock.json) into tests/fsrs/node_modules
# first when they are not there.
#   run.sh SCRIPT.mjs ARGS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The binding's native packages for other systems are not all published at
# its version, which npm ci takes for a lock out of step: npm install then
# installs what the lock names.
if [ ! -d "$here/node_modules/@open-spaced-repetition/binding" ]; then
    npm ci --prefix "$here" --no-audit --no-fund >/dev/null 2>&1 ||
        npm install --prefix "$here" --no-audit --no-fund >/dev/null
fi
exec node "$here/$1" "${@:2}"
