#!/usr/bin/env bash
# Builds Orvex Navigator and opens it on the sample database.
#
# Installs missing packages, builds build/, starts the private demo server in .demo/
# (loading the sample database the first time), runs build/app/OrvexNavigator with
# "localhost" pointing at that server, and stops the server when the program ends.
# The program's default connection (host localhost, user root, password qxzv,
# database orvex) needs no change.
#
#   scripts/demo.sh [program arguments]
# Without a display, run it under a virtual one:  xvfb-run -a bash scripts/demo.sh
# (the first run installs xvfb, then stops and says so when no display is set).
# Environment: BUILD_DIR (default build), ORVEX_DEMO_SCALE (sample scale, default 1;
#              it applies when the database is loaded, i.e. the first time).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${BUILD_DIR:-build}
demo=$repo/.demo

note() { echo "demo: $*" >&2; }

# Packages first: they include xvfb, so a machine without a display can go on under xvfb-run.
bash scripts/install-deps.sh

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    note "no display (DISPLAY is not set). The packages are installed now, xvfb among them;"
    note "run it under a virtual X server:"
    note "    xvfb-run -a bash scripts/demo.sh"
    note "or set QT_QPA_PLATFORM=offscreen to run without showing anything."
    exit 2
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)"

program=$build/app/OrvexNavigator
[[ -x $program ]] || {
    note "$program was not built"
    exit 1
}

bash scripts/dbserver.sh start "$demo"
# The server goes down with the script, however it ends.
app_pid=""
trap 'bash "$repo/scripts/dbserver.sh" stop "$demo"' EXIT
# A signal to the script ends the program too, then the server (the EXIT trap).
# shellcheck disable=SC2317 # run by the traps below
on_signal() {
    [[ -n $app_pid ]] && kill -TERM "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    exit "$1"
}
trap 'on_signal 130' INT
trap 'on_signal 143' TERM
trap 'on_signal 129' HUP

# shellcheck source=/dev/null
source "$demo/env"
have_db=$(bash scripts/dbserver.sh sql "$demo" "SHOW DATABASES LIKE 'orvex';" | tail -n +2)
# sample.loaded marks a load that finished; an interrupted one is made again.
if [[ -z $have_db || ! -f $demo/sample.loaded ]]; then
    note "loading the sample database"
    ORVEX_SAMPLE=${ORVEX_SAMPLE:-$build/data/orvex_sample} \
        bash scripts/dbserver.sh load "$demo" "${ORVEX_DEMO_SCALE:-1}"
fi

note "starting $program (server: socket $ORVEX_DB_SOCKET, TCP 127.0.0.1:$ORVEX_DB_PORT)"
# In the background so that the traps above run while it is up (bash runs them only
# between commands; "wait" is one it leaves at once).
MYSQL_UNIX_PORT=$ORVEX_DB_SOCKET "$program" "$@" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=""
exit "$status"
