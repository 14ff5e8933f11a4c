#!/usr/bin/env bash
# Figures of the fixture pages against the developer stub's football world,
# under Xvfb, with empty user folders. A benchmark, not a test: the figures
# depend on the machine.
#
# Usage: bench/pages.sh [live [RUNS] | leagues | memory | screens DIR [WxH] | all]
#   live      one live refresh with every league answering after 200 ms
#             (the fan-out fetch alone, and the page from being shown to its cards)
#   leagues   requests sent by a second showing of the leagues page
#   memory    resident memory with the leagues page's cards and their 500 px crests
#   screens   screenshots of every page in both themes, into DIR (window 1180x760
#             unless WxH is given)
#   all       live, leagues and memory (the default)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/test/bench/tolvo_bench_pages

if [[ ! -x "$exe" ]] || [[ -n "$(find bench/pages src -newer "$exe" -name '*.cpp' -o -newer "$exe" -name '*.h' | head -1)" ]]; then
    cmake --preset test >/dev/null
    cmake --build --preset test --target tolvo_bench_pages >/dev/null
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is needed (apt-get install xvfb)" >&2; exit 1; }

run() { xvfb-run -a -s "-screen 0 1600x1000x24" "$exe" "$@" 2> >(grep -v -e '^QStandardPaths' -e 'audio' -e 'PulseAudio' >&2); }

case "${1:-all}" in
    all)
        run live 5
        run leagues
        run memory
        ;;
    *) run "$@" ;;
esac
