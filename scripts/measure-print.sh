#!/usr/bin/env bash
# Measures `qrptool print` on 200- and 2000-page sample reports through the cups-pdf queue: wall
# time and peak memory until the job is handed to CUPS, which is when qrptool exits. Memory should
# not grow with the page count. Each job is then left to finish and its PDF removed, which for 2000
# pages takes cups-pdf a minute or more.
#   scripts/measure-print.sh [QRPTOOL]      (default build/release/src/tools/qrptool)
set -euo pipefail
qrptool=${1:-build/release/src/tools/qrptool}
queue=$(bash "$(dirname "$0")/start-cups.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for pages in 200 2000; do
    "$qrptool" demo "$work/r$pages.qrp" --pages "$pages" >/dev/null
    title="measure-print-$$-$pages"
    /usr/bin/time -f "$pages pages: %e s wall, %U s user, %S s system, %M KB maximum resident" \
        "$qrptool" print "$work/r$pages.qrp" --printer "$queue" --title "$title" >/dev/null
    for _ in $(seq 600); do
        printed=$(ls "$HOME"/PDF/"$title"[!0-9]*.pdf 2>/dev/null | head -1 || true)
        if [ -n "$printed" ] && tail -c 64 "$printed" | grep -q '%%EOF'; then
            rm -f "$printed"
            break
        fi
        sleep 0.5
    done
done
