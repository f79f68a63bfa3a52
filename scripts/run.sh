#!/usr/bin/env bash
# Builds the tools and shows the sample report (samples/sample-report.qrp, recorded by
# `qrptool demo`): what qrptool finds in it, and its first page drawn as a PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target qrptool

qrptool=build/release/src/tools/qrptool
sample=samples/sample-report.qrp
"$qrptool" info "$sample"
"$qrptool" verify "$sample"
mkdir -p build/sample
"$qrptool" render "$sample" --page 1 --dpi 96 -o build/sample/page-1.png
echo "Sample report: $(realpath "$sample"); its first page: $(realpath build/sample/page-1.png)"
