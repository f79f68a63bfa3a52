#!/usr/bin/env bash
# Draws the pictures of the main window's bar, the About window and the viewer finding text into
# docs/, on Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target shell_screenshots
xvfb-run -a -s "-screen 0 1280x800x24" build/release/tests/shell_screenshots docs
echo "docs/main-window.png docs/about.png docs/find.png"
