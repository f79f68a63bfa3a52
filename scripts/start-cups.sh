#!/usr/bin/env bash
# Starts the CUPS scheduler, if it is not running, with a cups-pdf queue for the printing tests,
# and prints the queue's name. cups-pdf writes each job as a PDF under the user's ~/PDF.
set -euo pipefail
queue=TarvoloPDF
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if ! lpstat -r 2>/dev/null | grep -q "is running"; then
    $sudo cupsd
    for _ in $(seq 50); do
        lpstat -r 2>/dev/null | grep -q "is running" && break
        sleep 0.2
    done
fi
lpstat -r | grep -q "is running"
if ! lpstat -p "$queue" >/dev/null 2>&1; then
    $sudo lpadmin -p "$queue" -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null
fi
# CUPS turns a job into PostScript for cups-pdf. Its default renderer, ghostscript, draws the text
# as glyph shapes without their characters; pdftocairo keeps text as text, so the PDF that arrives
# can be read back like the one the program sent.
$sudo lpadmin -p "$queue" -o pdftops-renderer-default=pdftocairo 2>/dev/null
lpstat -p "$queue" >/dev/null
echo "$queue"
