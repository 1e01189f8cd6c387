#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs the whole test suite:
# installs missing packages, configures build/ with tests, builds on all cores, runs ctest, then
# the tests that use the database server once more with a server that offers no TLS.
# The suite's fixture starts, loads and stops its own private database server
# (scripts/dbserver.sh on build/testdb), so nothing else needs to run beforehand.
# Exits with ctest's status.
#
#   scripts/test.sh [extra ctest arguments, e.g. -R sampledb]
# Environment: BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo),
#              CMAKE_ARGS (extra configure arguments, e.g. -DORVEX_SANITIZE=ON),
#              ORVEX_TEST_SPIDER=1 to run the server's tests against the archive split across
#              servers as well (label spider; CI does).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${BUILD_DIR:-build}

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
# shellcheck disable=SC2086 # CMAKE_ARGS is a list of words on purpose
spider=OFF
[[ ${ORVEX_TEST_SPIDER:-0} == 1 ]] && spider=ON
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DBUILD_TESTING=ON \
    -DORVEX_SPIDER_TESTS="$spider" ${CMAKE_ARGS:-}
cmake --build "$build" --parallel "$jobs"

status=0
ctest --test-dir "$build" --output-on-failure "$@" || status=$?
# The test server offers TLS; the tests that use it run once more with a server that does not,
# which the program must serve just as well.
if ((status == 0)); then
    echo "test.sh: the server's tests again, with a server without TLS" >&2
    ORVEX_DB_TLS=0 ctest --test-dir "$build" --output-on-failure -L testdb "$@" || status=$?
fi
exit "$status"
