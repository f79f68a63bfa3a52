#!/usr/bin/env bash
# The program on a real desktop: an X server (Xvfb) with a window manager (openbox), driven with
# xdotool as a user drives it, and watched through the window manager's own records.
#   desktop-session.sh TARVOLO QRPTOOL
#
#   - the main bar's whole frame, title bar included, lies on the screen, at its top across its width
#     (on two screen sizes);
#   - minimizing the main bar or a viewer, from the command line or from the main bar, ends nothing;
#   - Esc on the main bar, then No, leaves one main bar and no second question;
#   - Space in a just-opened report scrolls the page; F11 and then Esc leave full screen and keep the
#     viewer; Ctrl+W closes it, and with it the program started on a report;
#   - the question's buttons are Sim and Não (with TARVOLO_CHECK_PORTUGUESE_BUTTONS=1).
#
# Each wait polls with a generous limit, so a busy machine slows the test down but does not fail it.
set -euo pipefail

program=$1
qrptool=$2
for tool in Xvfb openbox xdotool xprop xwininfo xwd convert; do
    command -v "$tool" >/dev/null || { echo "$tool is missing"; exit 77; }
done

readonly patience=60 # seconds any one thing may take to happen
check_portuguese=${TARVOLO_CHECK_PORTUGUESE_BUTTONS:-0}
readonly bar_title="Kestan Tarvolo - Visualizador de Relatórios"
readonly question_title="Confirmação"
readonly no_report_title="(Nenhum relatório aberto)"

root=$(mktemp -d)
xvfb_pid="" openbox_pid="" app_pid=""
stop_desktop() {
    for pid in $app_pid $openbox_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    app_pid="" openbox_pid="" xvfb_pid=""
}
trap 'stop_desktop; rm -rf "$root"' EXIT

# The program records itself with the desktop at every start: here, in a folder of the test's own.
export HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/run"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION SESSION_MANAGER
export QT_QPA_PLATFORM=xcb
# The end status here is the program's own: leaks are for the unit tests to find.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=0"

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        echo "windows on the screen:" >&2
        xwininfo -root -tree 2>/dev/null | grep '^ *0x[0-9a-f]* "' | grep -v '"Openbox"\|Qt Selection Owner' >&2 || true
    fi
    [ -s "$root/program.log" ] && { echo "the program said:" >&2; cat "$root/program.log" >&2; }
    exit 1
}

# Runs the command given until it succeeds, for at most $patience seconds.
wait_until() {
    local what=$1
    shift
    local deadline=$((SECONDS + patience))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || fail "$what (waited ${patience} s)"
        sleep 0.1
    done
}

display_known() {
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended: $(cat "$root/xvfb.log")"
    grep -q '[0-9]' "$root/display"
}

# Starts Xvfb on a display number it finds free itself, and openbox on it. Without -noreset the
# server starts afresh each time its last client leaves, and a client that comes just then is
# turned away.
start_desktop() {
    local size=$1
    : >"$root/display"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$root/display" 2>"$root/xvfb.log" &
    xvfb_pid=$!
    wait_until "Xvfb gives its display number" display_known
    DISPLAY=":$(tr -dc 0-9 <"$root/display")"
    export DISPLAY
    openbox --sm-disable >"$root/openbox.log" 2>&1 &
    openbox_pid=$!
    wait_until "openbox manages the screen" window_manager_runs
    echo "desktop $size on $DISPLAY"
}

start_program() {
    "$program" "$@" >"$root/program.log" 2>&1 &
    app_pid=$!
}

window_manager_runs() {
    kill -0 "$openbox_pid" 2>/dev/null || fail "openbox ended: $(cat "$root/openbox.log")"
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep 'window id' >/dev/null
}

program_runs() { kill -0 "$app_pid" 2>/dev/null; }
program_ended() { ! program_runs; }

# The program ended by itself, with status 0.
expect_program_end() {
    wait_until "$1" program_ended
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "$1: the program ended with status $status"
}

# The id of the one mapped window with exactly this title, once there is one.
window_named() {
    local title=$1 ids
    local deadline=$((SECONDS + patience))
    while :; do
        ids=$(windows_named "$title")
        [ -n "$ids" ] && break
        [ $SECONDS -lt $deadline ] || fail "no window \"$title\" (waited ${patience} s)"
        sleep 0.1
    done
    [ "$(wc -w <<<"$ids")" -eq 1 ] || fail "more than one window \"$title\": $ids"
    echo "$ids"
}

# The mapped windows with exactly this title (xdotool matches a pattern; the title is checked).
windows_named() {
    local id pattern=${1//[][()^$.*+?{\}|\\]/.}
    pattern="^$pattern\$"
    for id in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && echo "$id"
    done
    return 0
}

no_window_named() { [ -z "$(windows_named "$1")" ]; }

wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
iconic() { [ "$(wm_state "$1")" = Iconic ]; }
shown() { [ "$(wm_state "$1")" = Normal ] && xwininfo -id "$1" | grep 'Map State: IsViewable' >/dev/null; }
net_state_has() { xprop -id "$1" _NET_WM_STATE | grep "$2" >/dev/null; }
window_gone() { ! xwininfo -id "$1" >/dev/null 2>&1; }
iconic_or_gone() { window_gone "$1" || iconic "$1"; }
not_full_screen_or_gone() { window_gone "$1" || ! net_state_has "$1" _NET_WM_STATE_FULLSCREEN; }

# Minimizes the window as its title bar's button does, and brings it back as a click in a task bar
# does; the window and the program stay.
minimize_and_restore() {
    local window=$1 what=$2
    xdotool windowminimize "$window"
    wait_until "$what is minimized" iconic_or_gone "$window"
    window_gone "$window" && fail "minimizing $what closed it"
    program_runs || fail "minimizing $what ended the program"
    activate "$window"
    wait_until "$what comes back after it was minimized" shown "$window"
    program_runs || fail "the program ended when $what came back"
    echo "ok: $what minimized and came back"
}

# Gives the window the keyboard, as a click on it would, and waits until it has it.
activate() {
    xdotool windowactivate "$1" 2>/dev/null || true
    wait_until "window $1 gets the keyboard" is_active "$1"
}
is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }

# Types keys into the window that has the keyboard.
keys_to() {
    local window=$1
    shift
    activate "$window"
    xdotool key --clearmodifiers "$@"
}

# A picture of part of a window, as numbers that change when its pixels do.
picture_of() {
    local window=$1 region=$2
    xwd -id "$window" -silent | convert xwd:- -crop "$region" +repage rgb:- | cksum
}

# The frame: _NET_FRAME_EXTENTS (left, right, top, bottom) around the client area xwininfo gives.
frame_of() {
    local window=$1 extents left right top bottom x y width height
    extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$extents" ] || return 1
    IFS=, read -r left right top bottom <<<"$extents"
    x=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left X: *//p')
    y=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left Y: *//p')
    width=$(xwininfo -id "$window" | sed -n 's/.*Width: *//p')
    height=$(xwininfo -id "$window" | sed -n 's/.*Height: *//p')
    echo "$((x - left)) $((y - top)) $((width + left + right)) $((height + top + bottom)) $top"
}

screen_size() { xwininfo -root | sed -n 's/.*-geometry \([0-9]*\)x\([0-9]*\).*/\1 \2/p'; }

# The bar's frame, title bar included, at the screen's top-left corner and across its width.
bar_frame_on_screen() {
    local frame fx fy fw fh top sw sh
    frame=$(frame_of "$1") || return 1
    read -r fx fy fw fh top <<<"$frame"
    read -r sw sh < <(screen_size)
    [ "$top" -gt 0 ] && [ "$fx" -eq 0 ] && [ "$fy" -eq 0 ] && [ "$fw" -eq "$sw" ] && [ "$fh" -le "$sh" ]
}

# The bar is placed again once the window manager has framed it: it gets there in a moment.
check_bar_frame() {
    local bar=$1 deadline=$((SECONDS + patience))
    until bar_frame_on_screen "$bar"; do
        [ $SECONDS -lt $deadline ] ||
            fail "the main bar's frame (x y width height, then the title bar's height: $(frame_of "$bar" || echo unknown))" \
                "does not lie at the top of the screen ($(screen_size)) across its width"
        sleep 0.1
    done
    echo "ok: the main bar's frame ($(frame_of "$bar")) lies on the screen $(screen_size)"
}

QT_QPA_PLATFORM=offscreen "$qrptool" demo "$root/report.qrp" --pages 30 >/dev/null
report_title=report.qrp

# --- A large screen: the main bar's frame --------------------------------------------------------
start_desktop 3840x2160
start_program
bar=$(window_named "$bar_title")
check_bar_frame "$bar"
stop_desktop

# --- A small screen: the main bar, its question and a viewer opened from it ----------------------
start_desktop 1024x768
start_program
bar=$(window_named "$bar_title")
check_bar_frame "$bar"

minimize_and_restore "$bar" "the main bar"

keys_to "$bar" Escape
question=$(window_named "$question_title")
keys_to "$question" n # the No button, by its underlined letter
wait_until "No closes the question" window_gone "$question"
# A second question would come before the program takes another key; Alt+R opens a viewer only
# once the Esc has been dealt with, and not at all while a question is open.
asked_again() { [ -n "$(windows_named "$question_title")" ]; }
bar_has_keyboard() { is_active "$bar" || asked_again; }
viewer_opened() { [ -n "$(windows_named "$no_report_title")" ] || asked_again; }
xdotool windowactivate "$bar" 2>/dev/null || true
wait_until "the main bar gets the keyboard back" bar_has_keyboard
xdotool key --clearmodifiers alt+r
wait_until "Alt+R opens a viewer" viewer_opened
asked_again && fail "Esc and No asked a second time"
viewer=$(window_named "$no_report_title")
[ "$(windows_named "$bar_title" | wc -l)" -eq 1 ] || fail "not one main bar after Esc and No"
echo "ok: Esc, then No, asked once and kept the main bar"

minimize_and_restore "$viewer" "the viewer opened from the main bar"
keys_to "$viewer" ctrl+w
wait_until "Ctrl+W closes the viewer" window_gone "$viewer"
shown "$bar" || fail "the main bar went with the viewer"
echo "ok: Ctrl+W closed the viewer and left the main bar"

keys_to "$bar" Escape
question=$(window_named "$question_title")
if [ "$check_portuguese" = 1 ]; then
    # "&Sim" and "&Não": Y, the English Yes's letter, answers nothing; N answers Não, S Sim.
    keys_to "$question" y
    keys_to "$question" n
    wait_until "N, for Não, answers the question" no_window_named "$question_title"
    # Had Y answered Yes, the program would be ending and ask nothing more.
    keys_to "$bar" Escape
    question=$(window_named "$question_title")
    keys_to "$question" s
    expect_program_end "S, for Sim, ends the program"
    echo "ok: the question's buttons are Sim and Não"
else
    keys_to "$question" Return # Yes, the question's default button
    expect_program_end "Yes ends the program"
fi

# --- A report given on the command line ----------------------------------------------------------
start_program "$root/report.qrp"
viewer=$(window_named "$report_title")
# The page, between the toolbar and the status bar.
read -r width height < <(xwininfo -id "$viewer" | sed -n 's/.*Width: *//p; s/.*Height: *//p' | paste -sd' ')
page="$((width - 40))x$((height - 160))+20+80"
# The page is drawn in tiles and ahead: the picture is taken once it has stopped changing.
stable_page() {
    local first second
    first=$(picture_of "$viewer" "$page")
    sleep 0.5
    second=$(picture_of "$viewer" "$page")
    [ "$first" = "$second" ] && echo "$second" >"$root/page-before"
}
wait_until "the page is drawn" stable_page
keys_to "$viewer" space
page_moved() { [ "$(picture_of "$viewer" "$page")" != "$(cat "$root/page-before")" ]; }
wait_until "Space scrolls the page of a report just opened" page_moved
echo "ok: Space scrolled the page"

minimize_and_restore "$viewer" "the viewer of a report"

keys_to "$viewer" F11
wait_until "F11 makes the viewer full screen" net_state_has "$viewer" _NET_WM_STATE_FULLSCREEN
keys_to "$viewer" Escape
wait_until "Esc leaves full screen" not_full_screen_or_gone "$viewer"
window_gone "$viewer" && fail "Esc in full screen closed the viewer"
program_runs || fail "Esc in full screen ended the program"
wait_until "the viewer is on the screen after leaving full screen" shown "$viewer"
wait_until "the viewer is maximized again" net_state_has "$viewer" _NET_WM_STATE_MAXIMIZED_VERT
echo "ok: Esc left full screen and kept the viewer, maximized as before"

keys_to "$viewer" ctrl+w
expect_program_end "Ctrl+W closes the viewer, and the program with it"
window_gone "$viewer" || fail "the viewer's window is still there"
echo "ok: Ctrl+W closed the viewer and ended the program"
