#!/bin/sh
# Starts the real program from two folders, with the desktop's data and configuration in a
# temporary folder, and asks the desktop's own tools what opens a .qrp file; then once more with
# a list of the user's own, which must stay as it is.
#   registration-at-start.sh TARVOLO
set -eu
program=$1
command -v xdg-mime >/dev/null && command -v mimetype >/dev/null || { echo "xdg-mime or mimetype is missing"; exit 77; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" XDG_DATA_DIRS="$root/data:/usr/share"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
export QT_QPA_PLATFORM=offscreen

# The main window waits for the user; the registration is done by then.
start() { timeout 3 "$1" >/dev/null 2>&1 || [ $? -eq 124 ]; }

mkdir -p "$root/first place" "$root/second place"
cp "$program" "$root/first place/tarvolo"
cp "$program" "$root/second place/tarvolo"
start "$root/first place/tarvolo"
: > "$root/x.qrp"
filetype=$(xdg-mime query filetype "$root/x.qrp")
default=$(xdg-mime query default application/x-qrp)
echo "filetype: $filetype; default: $default"
[ "$filetype" = application/x-qrp ]
[ "$default" = tarvolo.desktop ]
grep -q "^Exec=\"$root/first place/tarvolo\" %f$" "$XDG_DATA_HOME/applications/tarvolo.desktop"

start "$root/second place/tarvolo"
grep "^Exec=" "$XDG_DATA_HOME/applications/tarvolo.desktop"
grep -q "^Exec=\"$root/second place/tarvolo\" %f$" "$XDG_DATA_HOME/applications/tarvolo.desktop"
[ "$(xdg-mime query default application/x-qrp)" = tarvolo.desktop ]

# The user's own choice, in a list of CRLF lines and bytes that are not UTF-8, stays as it is.
printf '[Added Associations]\r\nimage/png=vi\351wer.desktop;\r\n\r\n[Default Applications]\r\napplication/x-qrp = other.desktop\r\n' \
    > "$root/mine.list"
cp "$root/mine.list" "$XDG_CONFIG_HOME/mimeapps.list"
start "$root/first place/tarvolo"
cmp "$root/mine.list" "$XDG_CONFIG_HOME/mimeapps.list"
grep -q "^Exec=\"$root/first place/tarvolo\" %f$" "$XDG_DATA_HOME/applications/tarvolo.desktop"
