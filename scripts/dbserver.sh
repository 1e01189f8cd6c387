#!/usr/bin/env bash
# The private MariaDB server of the test bed and the demo.
#
#   dbserver.sh start  DIR          start the server of DIR (initialise DIR/data on first use)
#   dbserver.sh stop   DIR          stop it (TERM, up to 30 s, then KILL); fine if not running
#   dbserver.sh status DIR          say whether it runs; exit 0 if it does, 3 if not
#   dbserver.sh load   DIR [SCALE]  (re)create database "orvex" with the sample data
#   dbserver.sh sql    DIR STATEMENT...   run statements (in "orvex" once it exists)
#   dbserver.sh client DIR [ARGS...]      the mariadb client, connected, ARGS passed on
#
# The server is never the system service: its own data folder DIR/data, its own socket
# DIR/mysqld.sock (or a short path under /tmp when DIR is too deep for a socket
# name), a free loopback TCP port above 10000 and below the ephemeral range, bound to
# 127.0.0.1. Users: root@localhost (socket) and root@127.0.0.1 (TCP), password "qxzv".
#
# DIR/env, written by start, can be sourced by a shell (plain KEY=value lines):
#   ORVEX_DB_SOCKET  ORVEX_DB_PORT  ORVEX_DB_PID  ORVEX_DB_HOST (127.0.0.1)
#   ORVEX_DB_USER (root)  ORVEX_DB_PASSWORD (qxzv)  ORVEX_DB_NAME (orvex)  ORVEX_DB_DIR
# Clients reach it with MYSQL_UNIX_PORT=$ORVEX_DB_SOCKET and host "localhost", or with
# host 127.0.0.1 and port $ORVEX_DB_PORT.
#
# The server offers TLS on its connections, with a self-signed certificate made with openssl in
# DIR/tls at the first start; ORVEX_DB_TLS=0 at start gives a server without TLS. DIR/env says
# which (ORVEX_DB_TLS, 1 or 0). ORVEX_DB_SERVER_ARGS at start adds server options.
#
# load writes DIR/sample.loaded ("scale N") when all rows are in, and removes it first.
# load runs the sample generator: $ORVEX_SAMPLE if set, else build/data/orvex_sample
# under the repository root. SCALE (default 1) is its --scale: 1 gives about 264,000
# surfaceshort rows, 4 over 1,000,000, 8 over 2,000,000.
set -euo pipefail
shopt -s inherit_errexit

readonly ROOT_PASSWORD=qxzv
readonly DB_NAME=orvex
readonly START_TIMEOUT=60
readonly STOP_TIMEOUT=30
tls=1

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

note() { echo "dbserver: $*" >&2; }
die() {
    echo "dbserver: error: $*" >&2
    exit 1
}

usage() {
    sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
}

# The server's programs live in /usr/sbin and /usr/bin; the old mysql* names are a fallback.
find_prog() {
    local name
    for name in "$@"; do
        if command -v "$name" >/dev/null 2>&1; then
            command -v "$name"
            return 0
        fi
        for d in /usr/sbin /usr/bin /usr/libexec /usr/local/sbin /usr/local/bin; do
            if [[ -x $d/$name ]]; then
                echo "$d/$name"
                return 0
            fi
        done
    done
    die "none of '$*' found: install the MariaDB server and client (scripts/install-deps.sh)"
}

# Paths of the server that DIR holds. Only start creates DIR.
setup_paths() {
    [[ -n ${1:-} ]] || usage
    if [[ ${2:-} == create ]]; then
        # mariadb-install-db splits its data folder at blanks.
        [[ $1 != *[[:space:]]* ]] || die "DIR must not contain blanks: '$1'"
        mkdir -p -- "$1"
    elif [[ ! -d $1 ]]; then
        dir=$1 datadir=$1/data pidfile=$1/mysqld.pid envfile=$1/env sock=$1/mysqld.sock
        return 0
    fi
    dir=$(cd -- "$1" && pwd)
    datadir=$dir/data
    pidfile=$dir/mysqld.pid
    errlog=$dir/mysqld.err
    envfile=$dir/env
    sock=$dir/mysqld.sock
    # A Unix socket name holds at most 107 bytes; deep folders get a short stand-in.
    if ((${#sock} > 100)); then
        local sum
        sum=$(printf '%s' "$dir" | cksum | cut -d' ' -f1)
        sock=/tmp/orvexdb-$sum/mysqld.sock
    fi
}

# Whether pid $1 is a server running on our data folder (guards against pid reuse).
is_our_server() {
    local pid=$1
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    kill -0 "$pid" 2>/dev/null || return 1
    [[ -r /proc/$pid/cmdline ]] || return 0
    tr '\0' '\n' <"/proc/$pid/cmdline" | grep -qxF -- "--datadir=$datadir"
}

# Pid of the running server of DIR, or nothing.
server_pid() {
    local pid=""
    [[ -s $pidfile ]] && pid=$(tr -dc '0-9' <"$pidfile")
    if [[ -z $pid && -s $envfile ]]; then
        pid=$(sed -n 's/^ORVEX_DB_PID=//p' "$envfile" | tr -dc '0-9')
    fi
    if [[ -n $pid ]] && is_our_server "$pid"; then
        echo "$pid"
    fi
}

read_env_value() {
    [[ -r $envfile ]] || return 0
    sed -n "s/^$1=//p" "$envfile" | tail -n 1
}

# TCP ports in use on this machine, as decimal numbers, one per line.
ports_in_use() {
    local f
    for f in /proc/net/tcp /proc/net/tcp6; do
        [[ -r $f ]] || continue
        awk 'NR > 1 { split($2, a, ":"); print a[2] }' "$f"
    done | while read -r hex; do echo $((16#$hex)); done | sort -u
}

# A loopback port that nothing uses, below the kernel's ephemeral range.
pick_port() {
    local low=10000 high=32767 used port i
    if [[ -r /proc/sys/net/ipv4/ip_local_port_range ]]; then
        local eph
        eph=$(awk '{ print $1 }' /proc/sys/net/ipv4/ip_local_port_range)
        ((eph > low + 1000)) && high=$((eph - 1))
    fi
    used=$(ports_in_use)
    for ((i = 0; i < 200; i++)); do
        port=$((low + ((RANDOM << 15) | RANDOM) % (high - low)))
        ((port == 3306 || port == 33060)) && continue
        grep -qx "$port" <<<"$used" && continue
        # Nothing may answer there either (covers namespaces /proc does not show).
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            continue
        fi
        echo "$port"
        return 0
    done
    die "no free TCP port found between $low and $high"
}

# Resolved once per command, outside any condition, so a missing program stops us.
find_programs() {
    server_prog=$(find_prog mariadbd mysqld)
    installer_prog=$(find_prog mariadb-install-db mysql_install_db)
    client_prog=$(find_prog mariadb mysql)
    admin_prog=$(find_prog mariadb-admin mysqladmin)
}

client_base() {
    # --no-defaults first: the system's option files must not redirect us.
    client=("$client_prog" --no-defaults --socket="$sock" --user=root)
}

run_sql_as_root() { # run_sql_as_root PASSWORD SQL
    local -a client
    client_base
    "${client[@]}" --password="$1" --batch --connect-timeout=10 -e "$2"
}

write_env() {
    local pid=$1 port=$2 tmp
    tmp=$(mktemp "$dir/.env.XXXXXX")
    {
        echo "# Written by scripts/dbserver.sh start; source it from a shell."
        printf 'ORVEX_DB_SOCKET=%q\n' "$sock"
        printf 'ORVEX_DB_PORT=%q\n' "$port"
        printf 'ORVEX_DB_PID=%q\n' "$pid"
        printf 'ORVEX_DB_HOST=%q\n' 127.0.0.1
        printf 'ORVEX_DB_USER=%q\n' root
        printf 'ORVEX_DB_PASSWORD=%q\n' "$ROOT_PASSWORD"
        printf 'ORVEX_DB_NAME=%q\n' "$DB_NAME"
        printf 'ORVEX_DB_DIR=%q\n' "$dir"
        printf 'ORVEX_DB_TLS=%q\n' "$tls"
    } >"$tmp"
    chmod 644 "$tmp"
    mv -f "$tmp" "$envfile"
}

show_log_tail() {
    if [[ -s $errlog ]]; then
        echo "---- last lines of $errlog ----" >&2
        tail -n 25 "$errlog" >&2
        echo "----" >&2
    fi
}

initialise_datadir() {
    # A folder left half-made by an interrupted first start is made again.
    if [[ -d $datadir && ! -d $datadir/mysql ]]; then
        note "removing incomplete data folder $datadir"
        rm -rf -- "$datadir"
    fi
    note "initialising $datadir"
    # --force: go on when this machine's name does not resolve (the server runs with
    # --skip-name-resolve and its accounts are by address anyway).
    local -a args=(--no-defaults --datadir="$datadir" --auth-root-authentication-method=normal
        --skip-test-db --force)
    ((EUID == 0)) && args+=(--user=root)
    if ! "$installer_prog" "${args[@]}" >"$dir/install-db.log" 2>&1; then
        tail -n 25 "$dir/install-db.log" >&2
        rm -rf -- "$datadir"
        die "mariadb-install-db failed (full output in $dir/install-db.log)"
    fi
}

# The server's certificate and key, made once: a self-signed certificate for 127.0.0.1 and
# localhost, which the clients do not verify (they have no authority to verify it against).
make_certificate() {
    local folder=$dir/tls
    [[ -s $folder/server-cert.pem && -s $folder/server-key.pem ]] && return 0
    command -v openssl >/dev/null || die "openssl is needed for the server's TLS certificate"
    mkdir -p -- "$folder"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=orvex-test-server \
        -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
        -keyout "$folder/server-key.pem" -out "$folder/server-cert.pem" >/dev/null 2>&1 ||
        die "openssl could not make the server's certificate"
    chmod 600 "$folder/server-key.pem"
}

# Starts mariadbd on a port and sets launched_pid. Returns 1 when the port was taken
# meanwhile (the caller tries another), dies on other failures.
launch() {
    local port=$1 pid i logsize=0
    local -a args=(--no-defaults
        --datadir="$datadir" --socket="$sock" --port="$port" --bind-address=127.0.0.1
        --skip-log-bin --pid-file="$pidfile" --log-error="$errlog"
        --skip-name-resolve --local-infile=1
        --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci
        --max-allowed-packet=64M
        # Test data, not precious: favour bulk loads and scans over durability.
        --innodb-buffer-pool-size=512M --innodb-log-file-size=256M
        --innodb-flush-log-at-trx-commit=2 --innodb-doublewrite=0)
    ((EUID == 0)) && args+=(--user=root)
    if ((tls)); then
        args+=(--ssl-cert="$dir/tls/server-cert.pem" --ssl-key="$dir/tls/server-key.pem")
    else
        args+=(--skip-ssl)
    fi
    # Further server options from the caller, split at spaces (scripts/spider.sh's front).
    # shellcheck disable=SC2206
    [[ -n ${ORVEX_DB_SERVER_ARGS:-} ]] && args+=($ORVEX_DB_SERVER_ARGS)

    mkdir -p -- "$(dirname -- "$sock")"
    rm -f -- "$pidfile" "$sock" "$sock.lock"
    [[ -f $errlog ]] && logsize=$(stat -c %s -- "$errlog")
    # Own session, no terminal, output to files, every other descriptor closed: the
    # server outlives this script and holds none of the caller's pipes (ctest waits
    # for those to close) nor our lock.
    (
        for fd in /proc/self/fd/*; do
            fd=${fd##*/}
            ((fd > 2)) && eval "exec $fd>&-" 2>/dev/null
        done
        exec setsid "$server_prog" "${args[@]}"
    ) </dev/null >>"$dir/mysqld.out" 2>&1 &
    pid=$!

    for ((i = 0; i < START_TIMEOUT * 5; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null || true
            if tail -c +$((logsize + 1)) -- "$errlog" 2>/dev/null |
                grep -qiE 'bind on tcp/ip port|address already in use'; then
                note "port $port was taken, trying another"
                return 1
            fi
            show_log_tail
            die "mariadbd exited during start-up"
        fi
        # ping answers 0 as soon as the server accepts connections, even when the
        # password is not yet the one we set.
        if [[ -S $sock ]] && "$admin_prog" --no-defaults --socket="$sock" --user=root \
            --connect-timeout=2 ping >/dev/null 2>&1; then
            launched_pid=$pid
            return 0
        fi
        sleep 0.2
    done
    show_log_tail
    kill -KILL "$pid" 2>/dev/null || true
    die "mariadbd did not answer within ${START_TIMEOUT}s (socket $sock)"
}

# root gets the password on the accounts the installer made for localhost, 127.0.0.1
# and ::1 (the one for the machine's name is ignored under --skip-name-resolve), and
# 127.0.0.1 exists for TCP clients. Runs at every start, so a data folder from an
# older start is put right too.
setup_accounts() {
    local pw=$ROOT_PASSWORD hosts sql h
    if ! run_sql_as_root "$pw" "SELECT 1" >/dev/null 2>&1; then
        pw="" # first start: the installer left root without a password
        run_sql_as_root "$pw" "SELECT 1" >/dev/null 2>&1 ||
            die "root accepts neither password '$ROOT_PASSWORD' nor an empty one"
    fi
    run_sql_as_root "$pw" "CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';" ||
        die "could not create root@127.0.0.1"
    hosts=$(run_sql_as_root "$pw" "SELECT host FROM mysql.user WHERE user = 'root'
        AND host IN ('localhost', '127.0.0.1', '::1');" | tail -n +2)
    sql=""
    while read -r h; do
        [[ -n $h ]] && sql+="ALTER USER 'root'@'$h' IDENTIFIED BY '$ROOT_PASSWORD'; "
    done <<<"$hosts"
    sql+="GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION; FLUSH PRIVILEGES;"
    run_sql_as_root "$pw" "$sql" || die "could not set the root password"
}

started_pid=""
abandon_start() {
    local status=$? i
    if ((status != 0)) && [[ -n $started_pid ]]; then
        note "start failed: stopping the server it started (pid $started_pid)"
        kill -TERM "$started_pid" 2>/dev/null || true
        for ((i = 0; i < STOP_TIMEOUT * 10; i++)); do
            kill -0 "$started_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$started_pid" 2>/dev/null || true
        rm -f -- "$envfile"
    fi
}

cmd_start() {
    setup_paths "$1" create
    find_programs
    exec 9>"$dir/.lock"
    flock -w 180 9 || die "another dbserver.sh holds $dir/.lock"

    local pid port
    pid=$(server_pid)
    if [[ -n $pid ]]; then
        port=$(read_env_value ORVEX_DB_PORT)
        if [[ -z $port ]]; then # env lost: the server's command line still says
            port=$(tr '\0' '\n' <"/proc/$pid/cmdline" | sed -n 's/^--port=//p')
            [[ -n $port ]] || die "server pid $pid runs on $datadir, but its port is unknown"
            tls=0
            tr '\0' '\n' <"/proc/$pid/cmdline" | grep -q '^--ssl-cert=' && tls=1
            write_env "$pid" "$port"
        fi
        note "already running: pid $pid, socket $sock, port $port"
        return 0
    fi

    [[ -d $datadir/mysql ]] || initialise_datadir
    tls=1
    [[ ${ORVEX_DB_TLS:-1} == 0 ]] && tls=0
    ((tls)) && make_certificate

    local tries
    launched_pid=""
    for ((tries = 0; tries < 5; tries++)); do
        port=$(pick_port)
        if launch "$port"; then
            break
        fi
    done
    pid=$launched_pid
    [[ -n $pid ]] || die "could not bind a free port after 5 tries"
    # From here on a failed start takes its server down again.
    started_pid=$pid
    trap abandon_start EXIT

    # The pid file is the server's own word; it names the same process as $!.
    local filepid=""
    [[ -s $pidfile ]] && filepid=$(tr -dc '0-9' <"$pidfile")
    [[ -n $filepid ]] && pid=$filepid

    write_env "$pid" "$port"
    setup_accounts
    started_pid=""
    note "started: pid $pid, socket $sock, port $port (env: $envfile)"
}

cmd_stop() {
    setup_paths "$1"
    local pid i
    pid=$(server_pid)
    if [[ -z $pid ]]; then
        note "not running ($dir)"
        return 0
    fi
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < STOP_TIMEOUT * 10; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        note "pid $pid still there after ${STOP_TIMEOUT}s, killing it"
        kill -KILL "$pid" 2>/dev/null || true
        for ((i = 0; i < 50; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && die "pid $pid survived SIGKILL"
        rm -f -- "$pidfile" "$sock" "$sock.lock"
    fi
    # The short stand-in folder for a deep DIR's socket goes too.
    [[ $sock == /tmp/orvexdb-*/mysqld.sock ]] && rmdir -- "${sock%/*}" 2>/dev/null
    note "stopped pid $pid"
}

cmd_status() {
    setup_paths "$1"
    local pid
    pid=$(server_pid)
    if [[ -n $pid ]]; then
        echo "running: pid $pid, socket $sock, port $(read_env_value ORVEX_DB_PORT)"
        return 0
    fi
    echo "not running ($dir)"
    return 3
}

require_running() {
    [[ -n $(server_pid) ]] || die "no server runs for $dir: run 'scripts/dbserver.sh start $dir' first"
}

sql_quote() { # a text as an SQL string literal
    local s=${1//\\/\\\\}
    printf "'%s'" "${s//\'/\'\'}"
}

cmd_load() {
    setup_paths "$1"
    find_programs
    local scale=${2:-1}
    [[ $scale =~ ^[1-9][0-9]*$ ]] || die "SCALE must be a whole number >= 1, not '$scale'"
    require_running

    local gen=${ORVEX_SAMPLE:-$repo/build/data/orvex_sample}
    [[ -x $gen ]] || die "sample generator '$gen' not found: build it (cmake --build build --target orvex_sample) or set ORVEX_SAMPLE to its path"
    local schema=$repo/data/schema.sql stations=$repo/data/stations.tsv
    [[ -r $schema ]] || die "$schema missing"
    [[ -r $stations ]] || die "$stations missing"

    local out=$dir/sample
    rm -f -- "$dir/sample.loaded"
    rm -rf -- "$out"
    mkdir -p -- "$out"
    local t0=$SECONDS
    note "generating the sample (scale $scale)"
    "$gen" --out "$out" --scale "$scale" --stations "$stations" ||
        die "the sample generator failed"

    local -a client
    client_base
    client+=(--password="$ROOT_PASSWORD" --local-infile=1 --batch --skip-column-names)

    note "creating database $DB_NAME"
    {
        echo "DROP DATABASE IF EXISTS $DB_NAME;"
        echo "CREATE DATABASE $DB_NAME CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;"
        echo "USE $DB_NAME;"
        cat "$schema"
    } | "${client[@]}" || die "creating the schema failed"

    # The tables load side by side, one client session each.
    note "loading rows"
    local -a pids=()
    local table
    for table in surfaceshort surface upper; do
        "${client[@]}" --database="$DB_NAME" -e "
            SET SESSION unique_checks = 0, foreign_key_checks = 0;
            LOAD DATA LOCAL INFILE $(sql_quote "$out/$table.tsv") INTO TABLE $table
                CHARACTER SET utf8mb4 FIELDS TERMINATED BY '\t' LINES TERMINATED BY '\n';
            SHOW WARNINGS LIMIT 5;" >"$out/$table.load.log" 2>&1 &
        pids+=($!)
    done
    local failed=0 p
    for p in "${pids[@]}"; do
        wait "$p" || failed=1
    done
    for table in surfaceshort surface upper; do
        if [[ -s $out/$table.load.log ]]; then
            note "loading $table said:"
            cat "$out/$table.load.log" >&2
            failed=1
        fi
    done
    ((failed == 0)) || die "loading the sample failed"

    # Every generated row must have arrived.
    local want got
    for table in surfaceshort surface upper; do
        want=$(awk -v t="$table" '$1 == t { print $2 }' "$out/counts.tsv")
        got=$("${client[@]}" --database="$DB_NAME" -e "SELECT COUNT(*) FROM $table;")
        [[ $got == "$want" ]] || die "$table holds $got rows, the generator wrote $want"
        note "  $table: $got rows"
    done
    # Fresh statistics, so SHOW TABLE STATUS gives a close row estimate at once.
    "${client[@]}" --database="$DB_NAME" -e "ANALYZE TABLE surfaceshort, surface, upper;" >/dev/null
    rm -rf -- "$out"
    echo "scale $scale" >"$dir/sample.loaded"
    note "loaded database $DB_NAME (scale $scale) in $((SECONDS - t0)) s"
}

cmd_sql() {
    setup_paths "$1"
    find_programs
    shift
    (($# > 0)) || die "sql needs a statement"
    require_running
    local -a client
    client_base
    client+=(--password="$ROOT_PASSWORD" --batch)
    if [[ -n $("${client[@]}" --skip-column-names -e "SHOW DATABASES LIKE '$DB_NAME'") ]]; then
        client+=(--database="$DB_NAME")
    fi
    local stmt
    for stmt in "$@"; do
        "${client[@]}" -e "$stmt"
    done
}

cmd_client() {
    setup_paths "$1"
    find_programs
    shift
    require_running
    local -a client
    client_base
    exec "${client[@]}" --password="$ROOT_PASSWORD" "$@"
}

(($# >= 2)) || usage
command=$1
shift
case $command in
start) cmd_start "$1" ;;
stop) cmd_stop "$1" ;;
status) cmd_status "$1" ;;
load) cmd_load "$@" ;;
sql) cmd_sql "$@" ;;
client) cmd_client "$@" ;;
*) usage ;;
esac
