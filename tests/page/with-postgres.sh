#!/bin/bash
# Runs a command against a private PostgreSQL: a fresh cluster in a
# temporary folder, its socket there and no TCP port, run as an unprivileged
# user when started as root; stopped and removed afterwards. The command
# gets the database's URL in VELMORANT_DATABASE.
#   with-postgres.sh COMMAND ARGS...
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL is not installed" >&2; exit 1; }
scratch=$(mktemp -d /tmp/velmorant-pg.XXXXXX)
as=()
if [ "$(id -u)" = 0 ]; then
    chown nobody "$scratch"
    as=(runuser -u nobody --)
fi
port=$((20000 + RANDOM % 20000))
stop() {
    "${as[@]}" "$bin/pg_ctl" -D "$scratch/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap stop EXIT
"${as[@]}" "$bin/initdb" -D "$scratch/data" -U velmorant --auth=trust -E UTF8 --no-locale >"$scratch/initdb.log" 2>&1 ||
    { cat "$scratch/initdb.log" >&2; exit 1; }
# A control script for tests that stop and start the cluster under a
# running server: pg_ctl.sh stop|start.
cat >"$scratch/pg_ctl.sh" <<EOF
#!/bin/bash
case "\$1" in
stop) exec ${as[*]} "$bin/pg_ctl" -D "$scratch/data" -m fast -w stop ;;
start) exec ${as[*]} "$bin/pg_ctl" -D "$scratch/data" -l "$scratch/server.log" -w \\
    -o "-k $scratch -h '' -p $port -c fsync=off" start ;;
esac
EOF
chmod 755 "$scratch/pg_ctl.sh"
"$scratch/pg_ctl.sh" start >/dev/null || { cat "$scratch/server.log" >&2; exit 1; }
"${as[@]}" "$bin/createdb" -h "$scratch" -p "$port" -U velmorant velmorant
export VELMORANT_DATABASE="postgresql://velmorant@:$port/velmorant?host=$scratch"
export VELMORANT_PG_CTL="$scratch/pg_ctl.sh"
"$@"
