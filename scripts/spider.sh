#!/usr/bin/env bash
# The sample archive split across servers: two backends, each holding the stations of one half
# of the alphabet, and a front whose Spider tables join them, so a client sees one database
# "orvex" on the front. All three are private servers of scripts/dbserver.sh.
#
#   spider.sh start DIR [SCALE]   start DIR/back1, DIR/back2 and DIR/front; load the sample
#                                 (scale 1 by default) split by station, and make the front's
#                                 tables; a second start reuses what is there
#   spider.sh stop DIR            stop all three (by pid)
#
# The tables are partitioned by station (RANGE COLUMNS on icao: before "KL" on back1, from "KL"
# on back2, about half the sample's stations each), so a statement that names one station goes
# to one backend whole. The front's tables list their columns (a partitioned Spider table
# without them crashed the server) and have (id, icao) as primary key, as a partitioned table
# needs its partition column in it. The
# backends' addresses and credentials are in the front's CREATE SERVER, not in the tables'
# comments, which SHOW TABLE STATUS shows. The front has a temporary folder of its own, where
# it sorts what it gathers from the backends. DIR/front/env is the front's env file.
#
# Needs Debian's mariadb-plugin-spider (installed when missing; the system service is not
# started).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dbserver=$repo/scripts/dbserver.sh
tables=(surfaceshort surface upper)

die() {
    echo "spider: error: $*" >&2
    exit 1
}

install_plugin() {
    [[ -e /usr/lib/mysql/plugin/ha_spider.so ]] && return 0
    local s=()
    ((EUID == 0)) || s=(sudo)
    # The package's install hook would restart the system's server: policy-rc.d forbids it, as
    # scripts/install-deps.sh does.
    local policy=/usr/sbin/policy-rc.d made=""
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' | "${s[@]}" tee "$policy" >/dev/null
        "${s[@]}" chmod 755 "$policy"
        made=1
    fi
    "${s[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends \
        mariadb-plugin-spider >&2
    [[ -n $made ]] && "${s[@]}" rm -f "$policy"
    [[ -e /usr/lib/mysql/plugin/ha_spider.so ]] || die "ha_spider.so did not arrive"
}

env_value() { # env_value DIR KEY
    sed -n "s/^$2=//p" "$1/env"
}

sql() { # sql DIR STATEMENTS
    bash "$dbserver" sql "$1" "$2"
}

# The schema's CREATE TABLE of one table as the front's Spider table over both backends.
front_table() { # front_table TABLE
    awk -v table="$1" '
        $0 ~ "^CREATE TABLE " table " \\(" { on = 1 }
        on {
            if ($0 ~ /PRIMARY KEY \(id\)/) sub(/PRIMARY KEY \(id\)/, "PRIMARY KEY (id, icao)")
            if ($0 ~ /^\) ENGINE=/) {
                print ") ENGINE=SPIDER DEFAULT CHARSET=utf8mb4 COMMENT=\047wrapper \"mysql\", table \"" table "\"\047"
                print "PARTITION BY RANGE COLUMNS(icao) ("
                print "    PARTITION back1 VALUES LESS THAN (\047KL\047) COMMENT = \047srv \"back1\"\047,"
                print "    PARTITION back2 VALUES LESS THAN (MAXVALUE) COMMENT = \047srv \"back2\"\047);"
                exit
            }
            print
        }' "$repo/data/schema.sql"
}

cmd_start() {
    local dir scale=${2:-1}
    # The servers run in their data folders: every path they are given is absolute.
    dir=$(realpath -m -- "$1")
    install_plugin
    mkdir -p -- "$dir/front/tmp"
    local back
    for back in back1 back2; do
        ORVEX_DB_TLS=0 bash "$dbserver" start "$dir/$back"
    done
    ORVEX_DB_TLS=0 ORVEX_DB_SERVER_ARGS="--plugin-load-add=ha_spider.so --tmpdir=$dir/front/tmp" \
        bash "$dbserver" start "$dir/front"

    # The backends' ports are new at each start: the front's entries for them are made anew.
    local servers=""
    for back in back1 back2; do
        servers+=" DROP SERVER IF EXISTS $back;"
        servers+=" CREATE SERVER $back FOREIGN DATA WRAPPER mysql OPTIONS (HOST '127.0.0.1',"
        servers+=" PORT $(env_value "$dir/$back" ORVEX_DB_PORT), USER 'root', PASSWORD 'qxzv',"
        servers+=" DATABASE 'orvex');"
    done
    bash "$dbserver" client "$dir/front" --batch -e "$servers"

    if [[ $(cat "$dir/front/spider.loaded" 2>/dev/null) == "scale $scale" ]]; then
        echo "spider: already loaded (scale $scale); front: $dir/front/env" >&2
        return 0
    fi
    rm -f -- "$dir/front/spider.loaded"
    # Each backend gets the whole sample, then keeps its half of the stations.
    local pids=() keep
    for back in back1 back2; do
        bash "$dbserver" load "$dir/$back" "$scale" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid" || die "loading a backend failed"
    done
    for back in back1 back2; do
        [[ $back == back1 ]] && keep="icao >= 'KL'" || keep="icao < 'KL'"
        local statements=""
        for table in "${tables[@]}"; do
            statements+="DELETE FROM $table WHERE $keep; "
        done
        sql "$dir/$back" "$statements"
    done

    # The front's tables over the backends.
    bash "$dbserver" client "$dir/front" --batch \
        -e "DROP DATABASE IF EXISTS orvex; CREATE DATABASE orvex;"
    local table definitions=""
    for table in "${tables[@]}"; do
        definitions+="$(front_table "$table")"$'\n'
    done
    bash "$dbserver" client "$dir/front" --batch --database=orvex -e "$definitions"
    echo "scale $scale" >"$dir/front/spider.loaded"
    echo "spider: front ready: $dir/front/env" >&2
}

cmd_stop() {
    local dir=$1 status=0 part
    for part in front back1 back2; do
        [[ -d $dir/$part ]] && { bash "$dbserver" stop "$dir/$part" || status=1; }
    done
    return "$status"
}

case ${1:-} in
start) shift; [[ $# -ge 1 ]] || die "usage: spider.sh start DIR [SCALE]"; cmd_start "$@" ;;
stop) shift; [[ $# -eq 1 ]] || die "usage: spider.sh stop DIR"; cmd_stop "$1" ;;
*) sed -n '2,20s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 2 ;;
esac
