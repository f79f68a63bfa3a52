#!/usr/bin/env bash
# Builds the viewer and opens it on the bundled sample report. Without a display it says so and
# writes the sample's pages as PNG files and a PDF instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target tarvolo qrptool

sample=samples/sample-report.qrp
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/release/tarvolo "$sample"
fi

qrptool=build/release/src/tools/qrptool
out=build/sample
mkdir -p "$out"
echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set): writing the sample's pages instead."
"$qrptool" info "$sample"
pages=$("$qrptool" info "$sample" | sed -E 's/.*"pages": ([0-9]+).*/\1/')
for ((n = 1; n <= pages; n++)); do
    "$qrptool" render "$sample" --page "$n" --dpi 96 -o "$out/page-$n.png" >/dev/null
done
"$qrptool" pdf "$sample" -o "$out/sample-report.pdf" >/dev/null
echo "Pages as PNG: $(realpath "$out")/page-1.png ... page-$pages.png"
echo "All pages as PDF: $(realpath "$out/sample-report.pdf")"
