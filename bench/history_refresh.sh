#!/usr/bin/env bash
# How the history keeps up with a long track record: moving history.json
# into the database, adding a prediction, the statistics, showing the
# history page and typing in its search field, with 20,000 predictions and
# with 200; then the resident memory of a later start with the page shown,
# for both sizes. Builds the benchmark with the dev preset when it is missing
# and runs it off-screen on temporary user folders. A benchmark, not a test:
# the figures depend on the machine (the CPU figures less than the others).
#
# Usage: bench/history_refresh.sh [RUNS] [EXECUTABLE]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
exe=${2:-build/dev/bench/tolvo_bench_history}

if [[ ! -x "$exe" ]]; then
    cmake --preset dev >/dev/null
    cmake --build --preset dev --target tolvo_bench_history >/dev/null
fi
homes=$(mktemp -d)
trap 'rm -rf "$homes"' EXIT
run() { TOLVO_BENCH_HOME="$homes/$1" QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$exe" "$@" 2>/dev/null; }
for n in 20000 200; do
    mkdir -p "$homes/$n"
    run "$n" "$runs"
    echo
done
rss() { run "$1" 1 memory | awk '/resident memory/ { print $(NF-1) }'; }
long=$(rss 20000)
short=$(rss 200)
echo "resident memory with the history page shown: $((long / 1024)) MB with 20000 predictions," \
    "$((short / 1024)) MB with 200: +$(( (long - short) / 1024 )) MB"
