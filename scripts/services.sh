# shellcheck shell=bash
# Services the system tests and the demo use, and the functions that start
# them when they are not running. Sourced by the test and demo commands,
# after packages.sh (the services come from those packages).

MARIADB_SOCKET=/run/mysqld/mysqld.sock
MARIADB_INIT=/etc/init.d/mariadb
MARIADB_START_WAIT=60 # seconds

mariadb_answers() {
    # Any answer counts (even "access denied"): the server is up. --no-defaults
    # so that a ~/.my.cnf cannot send the ping somewhere else.
    mysqladmin --no-defaults --protocol=socket --socket="$MARIADB_SOCKET" \
        --connect-timeout=2 ping >/dev/null 2>&1
}

# The MariaDB server of this machine, which the sandboxed tests reach through
# its socket in the host's /run. Started through its init script (there is no
# service manager on CI machines); the package has initialised the data folder
# and the script creates /run/mysqld.
ensure_mariadb() {
    if mariadb_answers; then
        return 0
    fi
    if [[ ! -x $MARIADB_INIT ]]; then
        echo "ensure_mariadb: $MARIADB_INIT is missing; is mariadb-server installed?" >&2
        return 1
    fi
    echo "Starting the MariaDB server"
    local log
    log=$(mktemp)
    # In a session of its own, so that ^C on the test run does not take the
    # server along, and with output to a file: the server's log helper keeps
    # the script's stdout open for as long as the server runs, which would
    # hold up anyone reading our output through a pipe.
    local status=0 waited=0
    timeout 120 setsid "$MARIADB_INIT" start </dev/null >"$log" 2>&1 || status=$?
    # The script has waited for the server already; a failed start is final.
    until mariadb_answers; do
        if ((status != 0 || waited >= MARIADB_START_WAIT * 2)); then
            echo "ensure_mariadb: the MariaDB server does not answer on $MARIADB_SOCKET" \
                "after '$MARIADB_INIT start' (exit status $status); its output:" >&2
            cat "$log" >&2
            rm -f "$log"
            return 1
        fi
        sleep 0.5
        waited=$((waited + 1))
    done
    rm -f "$log"
}
