#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs the whole test suite:
# installs missing packages, configures build/ with tests, builds on all cores, runs ctest.
# The suite's fixture starts, loads and stops its own private database server
# (scripts/dbserver.sh on build/testdb), so nothing else needs to run beforehand.
# Exits with ctest's status.
#
#   scripts/test.sh [extra ctest arguments, e.g. -R sampledb]
# Environment: BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo),
#              CMAKE_ARGS (extra configure arguments, e.g. -DORVEX_SANITIZE=ON).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${BUILD_DIR:-build}

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
# shellcheck disable=SC2086 # CMAKE_ARGS is a list of words on purpose
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DBUILD_TESTING=ON ${CMAKE_ARGS:-}
cmake --build "$build" --parallel "$jobs"

status=0
ctest --test-dir "$build" --output-on-failure "$@" || status=$?
exit "$status"
