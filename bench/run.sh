#!/usr/bin/env bash
# Measures a query run of the main window with a large result: starts a private server in
# build/benchdb (or the folder given), loads the sample database at scale 4 (1,045,440
# surfaceshort rows) unless it holds that scale already, runs bench/run_bench on it and stops
# the server when done, however the script ends.
#
#   bench/run.sh [--scale N] [--rounds N] [--folder DIR] [--statement SQL] [SERVER_DIR]
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

while (($# > 0)); do
    case $1 in
    --scale) scale=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --statement | --reuse-window | --trace-stalls) extra+=("$1" "$2"); shift 2 ;;
    -h | --help)
        sed -n '2,18s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
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
cleanup() {
    bash "$dbserver" stop "$server" || true
    [[ -n $own_folder ]] && rm -rf -- "$own_folder"
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

bash "$dbserver" start "$server"
# shellcheck source=/dev/null
source "$server/env"
# sample.loaded marks a finished load and its scale.
if [[ $(cat "$server/sample.loaded" 2>/dev/null) != "scale $scale" ]]; then
    ORVEX_SAMPLE=$generator bash "$dbserver" load "$server" "$scale"
fi

"$program" --rounds "$rounds" --socket "$ORVEX_DB_SOCKET" --server-pid "$ORVEX_DB_PID" \
    --folder "$folder" "${extra[@]}"
