#!/usr/bin/env bash
# Builds the tools and shows the sample report: packs the reference pages beside the checkout
# into a report, then prints what qrptool finds in it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target qrptool

qrptool=build/release/src/tools/qrptool
pages_dir=../shared/oracle/pages
sample=build/sample/sample.qrp
mkdir -p build/sample
if [ ! -d "$pages_dir" ]; then
    echo "run.sh: no reference pages at $pages_dir; put the shared folder beside the checkout" >&2
    exit 1
fi
"$qrptool" pack "$sample" "$pages_dir"/*.emf
"$qrptool" info "$sample"
"$qrptool" verify "$sample"
echo "Sample report: $(realpath "$sample")"
