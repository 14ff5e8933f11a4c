#!/usr/bin/env bash
# How the history keeps up with a long track record: moving history.json
# into the database, adding a prediction, the statistics, showing the
# history page and typing in its search field, with 20,000 predictions and
# with 200 (for the memory the long history costs). Builds the benchmark with
# the dev preset when it is missing and runs it off-screen on temporary user
# folders. A benchmark, not a test: the figures depend on the machine.
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
run() { QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$exe" "$@" 2>/dev/null; }
long=$(run 20000 "$runs")
short=$(run 200 "$runs")
echo "$long"
echo
echo "$short"
rss() { awk '/resident memory/ { print $(NF-1) }' <<<"$1"; }
echo
echo "resident memory, 20000 against 200 predictions: +$(( ($(rss "$long") - $(rss "$short")) / 1024 )) MB"
