#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL server that Debian's
# pg_virtualenv starts for it and removes afterwards; the command finds it
# through PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE. The cluster
# lives in a temporary folder (-t), also as root, so that several runs at
# once on one machine do not meet.
# Where no server can be started, says why and exits with 77, which CTest
# counts as skipped; otherwise exits with the command's status.
set -u

if ! command -v pg_virtualenv >/dev/null 2>&1; then
    echo "SKIP: PostgreSQL is not installed (pg_virtualenv is missing; tools/install-deps.sh test installs it)" >&2
    exit 77
fi
started=$(mktemp -d)
pg_virtualenv -t sh -c 'touch "$0/started" && exec "$@"' "$started" "$@"
status=$?
if [ ! -e "$started/started" ]; then
    rm -rf "$started"
    echo "SKIP: a PostgreSQL server could not be started here (pg_virtualenv exited with $status; see above)" >&2
    exit 77
fi
rm -rf "$started"
exit "$status"
