#!/usr/bin/env bash
# Runs a large result through the real window as a person would, with the program held to a
# memory limit: under a virtual X server of its own, against a private database server, it
# starts the program in a memory cgroup (1 GiB unless told otherwise), clicks into the SQL QUERY
# box, types a statement of 25 columns over the server's sequence table, clicks "Submit SQL
# query (advanced users)", and waits until the status line says "Done!" or the program is gone.
# Then it reads, through the desktop's accessibility bus as a screen reader does, the grid's
# row count and its last record, and prints the cgroup's peak memory.
#
#   scripts/large-result-check.sh [RECORDS] [LIMIT_MIB]      (default 10000000 and 1024)
# Environment: BUILD_DIR (default build); DISPLAY_NUMBER (default 88).
# Exits 0 when the program ended the run with "Done!" and the grid holds every record.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-build}
[[ $build == /* ]] || build=$repo/$build
records=${1:-10000000}
limit_mib=${2:-1024}
display=:${DISPLAY_NUMBER:-88}
server=$build/largecheckdb

packages=(at-spi2-core python3-pyatspi dbus-x11 xdotool xvfb)
missing=()
for p in "${packages[@]}"; do
    [[ $(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null) == installed ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    s=()
    ((EUID == 0)) || s=(sudo)
    "${s[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
fi
[[ -x $build/app/OrvexNavigator ]] || cmake --build "$build" --target OrvexNavigator

# The memory cgroup (version 2, else version 1's memory controller).
group=""
limit=$((limit_mib * 1024 * 1024))
if [[ -f /sys/fs/cgroup/cgroup.controllers ]] && mkdir -p /sys/fs/cgroup/orvex-check 2>/dev/null &&
    echo "$limit" >/sys/fs/cgroup/orvex-check/memory.max 2>/dev/null; then
    group=/sys/fs/cgroup/orvex-check
    peak_file=$group/memory.peak
elif mkdir -p /sys/fs/cgroup/memory/orvex-check 2>/dev/null &&
    echo "$limit" >/sys/fs/cgroup/memory/orvex-check/memory.limit_in_bytes 2>/dev/null; then
    group=/sys/fs/cgroup/memory/orvex-check
    peak_file=$group/memory.max_usage_in_bytes
else
    echo "large-result-check: no memory cgroup can be made here" >&2
    exit 1
fi

xvfb_pid=""
cleanup() {
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    bash "$repo/scripts/dbserver.sh" stop "$server" >/dev/null 2>&1 || true
    rmdir "$group" 2>/dev/null || true
}
trap cleanup EXIT

bash "$repo/scripts/dbserver.sh" start "$server" >/dev/null
bash "$repo/scripts/dbserver.sh" sql "$server" "CREATE DATABASE IF NOT EXISTS orvex" >/dev/null
Xvfb "$display" -screen 0 1920x1200x24 >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1

export DISPLAY=$display MYSQL_UNIX_PORT=$server/mysqld.sock QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export ORVEX_PROGRAM=$build/app/OrvexNavigator ORVEX_GROUP=$group ORVEX_RECORDS=$records
export ORVEX_STATEMENT="SELECT seq AS id, 1973 + seq % 50 AS year, 1 + seq % 12 AS month, \
1 + seq % 28 AS day, seq % 24 AS hour, 'SWF' AS faa, CONCAT('K', seq % 900 + 100) AS icao, \
LPAD(seq % 99991, 5, '0') AS wmo, 30 + seq % 2000 / 100 AS lat, -120 + seq % 5000 / 100 AS lon, \
seq % 1000 / 10 AS temp, seq % 700 / 10 AS dewpt, seq % 1000 / 10 AS relh, \
seq % 1100 / 10 AS feel, seq % 360 AS wdir, seq % 40 AS wspd, seq % 50 AS gust, \
seq % 1000 / 100 AS vis, 29 + seq % 200 / 100 AS alti, 990 + seq % 400 / 10 AS slp, \
seq % 50 / 100 AS p01i, 'BKN' AS skyc, seq % 250 * 100 AS skyl, seq % 300 * 100 AS ceil, \
'-RA BR' AS wxcodes FROM seq_1_to_$records"
status=0
dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    sleep 1
    ( echo "$BASHPID" >"$ORVEX_GROUP/cgroup.procs"; exec "$ORVEX_PROGRAM" ) &
    program=$!
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --name "Orvex" 2>/dev/null | head -1)
        [[ -n $window ]] && break
        sleep 0.2
    done
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # The SQL QUERY box and the Submit SQL button, at their places in the constraint panel.
    xdotool mousemove $((X + 1014)) $((Y + 280)) click 1
    xdotool key ctrl+a Delete
    xdotool type --delay 2 "$ORVEX_STATEMENT"
    xdotool mousemove $((X + 122)) $((Y + 292)) click 1
    ORVEX_PID=$program /usr/bin/python3 - <<"PYTHON"
import os, sys, time
import pyatspi

def find(acc, test, depth=0):
    if acc is None or depth > 30:
        return None
    try:
        if test(acc):
            return acc
        # The children of a table are its cells, millions of them.
        if acc.getRole() == pyatspi.ROLE_TABLE:
            return None
        for i in range(acc.childCount):
            found = find(acc.getChildAtIndex(i), test, depth + 1)
            if found:
                return found
    except Exception:
        return None
    return None

def alive():
    try:
        os.kill(int(os.environ["ORVEX_PID"]), 0)
        return True
    except OSError:
        return False

desktop = pyatspi.Registry.getDesktop(0)
app = find(desktop, lambda a: a.getRole() == pyatspi.ROLE_APPLICATION and "Orvex" in (a.name or ""))
start = time.time()
time.sleep(2)
while True:
    if not alive():
        print("the program is gone after %.0f s" % (time.time() - start))
        sys.exit(1)
    if find(app, lambda a: a.getRole() == pyatspi.ROLE_LABEL and a.name == "Done!"):
        break
    time.sleep(1)
print("status line \"Done!\" after %.0f s" % (time.time() - start))
grid = find(app, lambda a: a.getRole() == pyatspi.ROLE_TABLE)
table = grid.queryTable()
records = int(os.environ["ORVEX_RECORDS"])
print("grid: %d rows, %d columns" % (table.nRows, table.nColumns))
last = [table.getAccessibleAt(table.nRows - 1, c).name for c in range(5)]
print("last record:", last)
sys.exit(0 if table.nRows == records and last[0] == str(records) else 1)
PYTHON
    result=$?
    kill $program 2>/dev/null
    exit $result
' 2> >(grep -v "dbus-daemon\|XGetInputFocus\|QStandardPaths\|SpiRegistry" >&2) || status=$?
echo "memory cgroup of $limit_mib MiB: peak $(($(cat "$peak_file") / 1048576)) MiB"
exit "$status"
