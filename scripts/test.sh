#!/usr/bin/env bash
# Builds everything and runs every test twice: in a normal build and under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)

# The printer tests print through a real CUPS scheduler into a cups-pdf queue.
if queue=$(bash scripts/start-cups.sh); then
    export TARVOLO_CUPS_QUEUE=$queue
else
    echo "CUPS could not be started: the tests that print through it are skipped" >&2
fi

echo "== normal build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DTARVOLO_SANITIZE=ON -DTARVOLO_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
