#!/usr/bin/env bash
# Rebuild time of the history page with a full history (200 predictions) and
# the cost of each keystroke in its search field. Builds the benchmark with
# the dev preset when it is missing and runs it off-screen on temporary user
# folders. A benchmark, not a test: the figures depend on the machine.
#
# Usage: bench/history_refresh.sh [RUNS] [EXECUTABLE]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
exe=${2:-build/dev/bench/tolvo_bench_history}

if [[ ! -x "$exe" ]]; then
    cmake --preset dev >/dev/null
    cmake --build --preset dev --target tolvo_bench_history >/dev/null
fi
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$exe" "$runs" 2>/dev/null
