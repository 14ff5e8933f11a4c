#!/usr/bin/env bash
# Start-up time of the desktop program: from process start to the main
# window's first paint on screen, under Xvfb, with empty user folders. Prints
# every run and the median. A benchmark, not a test: the figure depends on the
# machine.
#
# Usage: bench/startup.sh [RUNS] [EXECUTABLE]
#   RUNS        number of runs (default 9)
#   EXECUTABLE  default build/dev/src/tolvo, built with the dev preset when missing
#
# The program prints the wall-clock time of its first paint and quits when
# TOLVO_STARTUP_PROBE is set; the difference to the moment just before the
# process was started is one run's figure.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
exe=${2:-build/dev/src/tolvo}

if [[ ! -x "$exe" ]]; then
    cmake --preset dev >/dev/null
    cmake --build --preset dev --target tolvo >/dev/null
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is needed (apt-get install xvfb)" >&2; exit 1; }

exe=$(realpath "$exe")
export RUNS=$runs EXE=$exe
# One X server for all runs, so that its own start-up is not counted.
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
    set -euo pipefail
    times=()
    for ((i = 1; i <= RUNS; i++)); do
        home=$(mktemp -d)
        start=$(date +%s%3N)
        painted=$(HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
                  XDG_CACHE_HOME=$home/cache TOLVO_STARTUP_PROBE=1 "$EXE" 2>/dev/null \
                  | sed -n "s/^first-paint-ms //p")
        rm -rf "$home"
        [[ -n "$painted" ]] || { echo "run $i: no paint reported" >&2; exit 1; }
        times+=($((painted - start)))
        echo "run $i: $((painted - start)) ms"
    done
    sorted=($(printf "%s\n" "${times[@]}" | sort -n))
    echo "median: ${sorted[$(( ${#sorted[@]} / 2 ))]} ms over ${#sorted[@]} runs"
'
