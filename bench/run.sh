#!/usr/bin/env bash
# Measures a query run of the main window with a large result: starts a private server in
# build/benchdb (or the folder given), loads the sample database at scale 4 (1,045,440
# surfaceshort rows) unless it holds that scale already, runs bench/run_bench on it and stops
# the server when done, however the script ends.
#
#   bench/run.sh [--scale N] [--rounds N] [--folder DIR] [--statement SQL] [--through-front]
#                [SERVER_DIR]
#
# With --through-front the same statement also runs through the front of the sample archive
# split across two backends (scripts/spider.sh, in build/benchspider, at the same scale): the
# rounds take turns between the single server and the front, one run_bench round each, and a
# last table gives the medians and the front's time divided by the single server's.
#
# With --large N the large round runs instead: N records (default 10,000,000) of a 25-column
# statement shaped like surfaceshort over the server's sequence table, so no table is loaded;
# run_bench runs in a memory cgroup of 2 GiB (--memory MiB to change it) where the machine lets
# root make one, and says whether it did. It measures the fill against the raw client loop, the
# longest stall, the peak anonymous memory, the temporary folder's size, Ctrl+End to the last
# record and Save to CSV against the client's dump to a file. 100,000,000 records:
#   bench/run.sh --large 100000000 --rounds 1
#
# --statement, --reuse-window and --trace-stalls go to run_bench as they are.
# --folder is where the CSV files of the measurement are written (default: a new temporary
# folder, removed afterwards). Environment: BUILD_DIR, the build to take run_bench and the
# sample generator from (default build).
#
# Loading a large scale takes a while. Scale 48 loads 12.6 million rows; 10 million of them:
#   bench/run.sh --scale 48 --rounds 1 \
#       --statement "SELECT * FROM surfaceshort LIMIT 10000000" build/benchdb10
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-build}
[[ $build == /* ]] || build=$repo/$build
scale=4
rounds=5
folder=""
server=$repo/build/benchdb
extra=()
through_front=0
large=0
memory_mib=2048

while (($# > 0)); do
    case $1 in
    --scale) scale=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --statement | --reuse-window | --trace-stalls) extra+=("$1" "$2"); shift 2 ;;
    --through-front) through_front=1; shift ;;
    --large)
        if [[ ${2:-} =~ ^[0-9]+$ ]]; then large=$2; shift 2; else large=10000000; shift; fi ;;
    --memory) memory_mib=$2; shift 2 ;;
    -h | --help)
        sed -n '2,33s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
        exit 0
        ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) server=$1; shift ;;
    esac
done

program=$build/bench/run_bench
generator=$build/data/orvex_sample
for f in "$program" "$generator"; do
    [[ -x $f ]] || {
        echo "run.sh: $f not found: build it (cmake --build $build)" >&2
        exit 1
    }
done

own_folder=""
if [[ -z $folder ]]; then
    folder=$(mktemp -d "${TMPDIR:-/tmp}/orvex-bench.XXXXXX")
    own_folder=$folder
fi
mkdir -p -- "$folder"

dbserver=$repo/scripts/dbserver.sh
spider_dir=$repo/build/benchspider
cleanup() {
    bash "$dbserver" stop "$server" || true
    ((through_front)) && { bash "$repo/scripts/spider.sh" stop "$spider_dir" || true; }
    [[ -n $own_folder ]] && rm -rf -- "$own_folder"
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

bash "$dbserver" start "$server"
# shellcheck source=/dev/null
source "$server/env"

# The large round: a memory cgroup for run_bench where root can make one (version 2, else the
# memory controller of version 1), removed afterwards.
if ((large > 0)); then
    bash "$dbserver" sql "$server" "CREATE DATABASE IF NOT EXISTS orvex" >/dev/null
    group=""
    limit=$((memory_mib * 1024 * 1024))
    if [[ -f /sys/fs/cgroup/cgroup.controllers ]] && grep -qw memory /sys/fs/cgroup/cgroup.controllers &&
        mkdir -p /sys/fs/cgroup/orvex-bench 2>/dev/null &&
        echo "$limit" >/sys/fs/cgroup/orvex-bench/memory.max 2>/dev/null; then
        group=/sys/fs/cgroup/orvex-bench
    elif [[ -d /sys/fs/cgroup/memory ]] && mkdir -p /sys/fs/cgroup/memory/orvex-bench 2>/dev/null &&
        echo "$limit" >/sys/fs/cgroup/memory/orvex-bench/memory.limit_in_bytes 2>/dev/null; then
        group=/sys/fs/cgroup/memory/orvex-bench
    fi
    [[ -n $group ]] || echo "run.sh: no memory cgroup could be made; run_bench runs without" >&2
    status=0
    (
        [[ -n $group ]] && echo "$BASHPID" >"$group/cgroup.procs"
        exec "$program" --large "$large" --rounds "$rounds" --socket "$ORVEX_DB_SOCKET" \
            --server-pid "$ORVEX_DB_PID" --folder "$folder" "${extra[@]}"
    ) || status=$?
    [[ -n $group ]] && rmdir "$group" 2>/dev/null
    exit "$status"
fi
# sample.loaded marks a finished load and its scale.
if [[ $(cat "$server/sample.loaded" 2>/dev/null) != "scale $scale" ]]; then
    ORVEX_SAMPLE=$generator bash "$dbserver" load "$server" "$scale"
fi

if ((!through_front)); then
    "$program" --rounds "$rounds" --socket "$ORVEX_DB_SOCKET" --server-pid "$ORVEX_DB_PID" \
        --folder "$folder" "${extra[@]}"
    exit
fi

ORVEX_SAMPLE=$generator bash "$repo/scripts/spider.sh" start "$spider_dir" "$scale"
front_socket=$(sed -n 's/^ORVEX_DB_SOCKET=//p' "$spider_dir/front/env")
front_pid=$(sed -n 's/^ORVEX_DB_PID=//p' "$spider_dir/front/env")
# The median of a row of run_bench's first table, from the files of all rounds of one side.
median_of() { # median_of ROW FILES...
    local row=$1
    shift
    awk -F'|' -v row="$row" '$2 == " " row " " { gsub(/ /, "", $4); print $4 }' "$@" |
        sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
for ((round = 1; round <= rounds; round++)); do
    "$program" --rounds 1 --socket "$ORVEX_DB_SOCKET" --server-pid "$ORVEX_DB_PID" \
        --folder "$folder" "${extra[@]}" >"$folder/direct.$round.txt"
    "$program" --rounds 1 --socket "$front_socket" --server-pid "$front_pid" \
        --folder "$folder" "${extra[@]}" >"$folder/front.$round.txt"
done
rows=("raw client loop (use_result, every field)" "raw client loop: first row"
    "program: StartRun to RunFinished (grid and log)" "program: first record painted in the grid"
    "program: longest event-loop stall (5 ms probe)")
echo "| measured (median of $rounds rounds) | single server, ms | through the front, ms | front / single |"
echo "|---|---:|---:|---:|"
for row in "${rows[@]}"; do
    direct=$(median_of "$row" "$folder"/direct.*.txt)
    front=$(median_of "$row" "$folder"/front.*.txt)
    awk -v r="$row" -v d="$direct" -v f="$front" \
        'BEGIN { printf "| %s | %.1f | %.1f | %.2f |\n", r, d, f, (d > 0 ? f / d : 0) }'
done
