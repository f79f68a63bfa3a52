#!/usr/bin/env bash
# Times the EMF player and the reference renderer (Wine's GDI) on the same pages at the same sizes.
#   scripts/bench-render.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shared=../shared
"$build/bench/render_bench" --benchmark_filter=. --benchmark_min_time=0.5
echo "== reference renderer (ms per play)"
cache=${ORACLE_CACHE:-$HOME/.cache/emf-oracle}
if [ -x "$cache/emfplay.exe" ]; then
    for size in @96 @300; do
        WINEPREFIX="$cache/prefix" WINEDEBUG=-all WINEARCH=win64 wine "$cache/emfplay.exe" -t 20 "$size" "$shared"/oracle/pages/*.emf
    done
else
    echo "run $shared/oracle/render.sh once to build the reference renderer"
fi
