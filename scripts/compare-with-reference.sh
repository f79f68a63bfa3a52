#!/usr/bin/env bash
# Draws every reference page and corpus picture with qrptool and compares each drawing with the
# reference renderer's (../shared/oracle/imgdiff.py). Prints one line per file and a summary.
#   scripts/compare-with-reference.sh [BUILD_DIR] [OUT_DIR]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
out=${2:-build/reference-compare}
shared=../shared
qrptool="$build/src/tools/qrptool"
mkdir -p "$out/oracle" "$out/external"

render_all() { # refdir srcdir outdir
    local refdir=$1 srcdir=$2 outdir=$3
    for ref in "$refdir"/*.png; do
        local name size base
        name=$(basename "$ref" .png)
        size=${name##*_}
        base=${name%_*}
        "$qrptool" render-emf "$srcdir/$base.emf" --size "$size" -o "$outdir/$name.png" >/dev/null 2>"$outdir/$name.err" ||
            echo "$base: $(cat "$outdir/$name.err")"
    done
}
render_all "$shared/oracle/ref" "$shared/oracle/pages" "$out/oracle"
render_all "$shared/corpus/emf-external-ref" "$shared/corpus/emf-external" "$out/external"

python=/usr/bin/python3
for set in oracle external; do
    ref=$([ "$set" = oracle ] && echo "$shared/oracle/ref" || echo "$shared/corpus/emf-external-ref")
    "$python" "$shared/oracle/imgdiff.py" "$ref" "$out/$set" > "$out/$set.txt" 2>&1
    awk -v set="$set" '/ink_recall/ {
        for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        n++; r += v["ink_recall"]; p += v["ink_precision"];
        if (v["ink_recall"] < 0.98 || v["ink_precision"] < 0.94) low++
    } END { printf "%s: %d drawings, mean ink_recall %.3f, mean ink_precision %.3f, %d below 0.98/0.94\n", set, n, r / n, p / n, low }' "$out/$set.txt"
done
