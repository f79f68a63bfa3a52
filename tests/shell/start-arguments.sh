#!/bin/sh
# The real program takes its command line as the file system holds it: a report whose name is not
# UTF-8 opens, which its entry in the desktop's recently used files shows, with the name's bytes;
# and its name, for message titles, loses only the extension, which the line it writes without a
# display shows.
#   start-arguments.sh TARVOLO REPORT
set -eu
program=$1
report=$2
root=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$root"' EXIT
export XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" XDG_DATA_DIRS="$root/data:/usr/share"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID

name=$(printf 'relat\377\376rio.v2.qrp')
cp "$report" "$root/$name"
QT_QPA_PLATFORM=offscreen "$program" "$root/$name" >"$root/output" 2>&1 &
pid=$!
# The viewer waits for the user once the report is open; the entry is made as it opens.
list="$XDG_DATA_HOME/recently-used.xbel"
tries=0
while ! grep -q '<bookmark ' "$list" 2>/dev/null && kill -0 "$pid" 2>/dev/null && [ $tries -lt 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=
cat "$root/output"
cat "$list"
grep -Fq "<bookmark href=\"file://$root/relat%FF%FErio.v2.qrp\"" "$list"

ln -s "$program" "$root/Kestan.Tarvolo.exe"
status=0
line=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/Kestan.Tarvolo.exe" 2>&1) || status=$?
echo "$line"
[ $status -eq 1 ]
case $line in
"Kestan.Tarvolo: cannot open a display"*) ;;
*) exit 1 ;;
esac
