#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS on every core, growing the
# kept corpora in fuzz/corpus/<target> so that each run builds on the last.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     # default: 600 seconds, every target
#
# Findings are written as build/fuzz/<target>-crash-..., -leak-..., -timeout-..., -oom-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_report_file fuzz_report_document fuzz_emf_player)

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOLO_BUILD_FUZZERS=ON \
    -DTARVOLO_BUILD_TESTS=OFF -DTARVOLO_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target "${targets[@]}"

for target in "${targets[@]}"; do
    corpus=fuzz/corpus/$target
    seeds=$(mktemp -d)
    mkdir -p "$corpus"
    case $target in
    fuzz_report_*) cp tests/fixtures/reports/*.qrp samples/*.qrp "$seeds"/ ;;
    fuzz_emf_player) python3 fuzz/seed-player.py "$seeds" tests/fixtures/pictures/*.emf ;;
    esac
    echo "== $target for $seconds s"
    # Inputs are cut to 64 KB: the seeds of many thousand records would otherwise make most
    # mutations slow without reaching more code.
    QT_QPA_PLATFORM=offscreen "build/fuzz/fuzz/$target" -fork="$(nproc)" -max_total_time="$seconds" -max_len=65536 \
        -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" "$corpus" "$seeds"
    # Keep only the inputs that add coverage.
    minimal=$(mktemp -d)
    QT_QPA_PLATFORM=offscreen "build/fuzz/fuzz/$target" -merge=1 -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="build/fuzz/$target-" "$minimal" "$corpus" 2>&1 | tail -1
    rm -rf "$corpus" "$seeds"
    mv "$minimal" "$corpus"
done
