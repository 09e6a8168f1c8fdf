#!/bin/bash
# Runs one of the page's tests with node: installs puppeteer-core into
# tests/page/node_modules first when it is not there.
#   run.sh SCRIPT.mjs ARGS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$here/node_modules/puppeteer-core" ]; then
    npm ci --prefix "$here" --no-audit --no-fund >/dev/null 2>&1 ||
        npm install --prefix "$here" --no-audit --no-fund >/dev/null
fi
exec node "$here/$1" "${@:2}"
