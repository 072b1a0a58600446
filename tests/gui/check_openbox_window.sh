#!/usr/bin/env bash
# The main window under a real window manager: openbox on Xvfb. The window's
# frame (the window manager's frame window, measured with xwininfo) opens at
# 244,129 and 711x482 outside, exactly; a title-bar drag and a corner drag
# by the mouse stay where the user left them; the first start's settings
# file holds no window place, the next one holds the frame the user left,
# and a start after that opens there. The Search Disk dialog opens centred
# on the main window's frame (within 3 pixels: openbox gives the fixed-size
# dialog a thinner bottom border).
# Usage: check_openbox_window.sh PATH-OF-VEXILLO
set -uo pipefail
program=$1

for tool in Xvfb openbox xdotool xwininfo xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for ((t = 0; t < tenths; t++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# A display of our own: the first free number from 90 up that Xvfb starts
# on (it tells the number on file descriptor 3 once it is ready).
for ((n = 90; n < 190; n++)); do
  [ -e "/tmp/.X$n-lock" ] && continue
  : >"$work/display"
  Xvfb ":$n" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  if wait_for 50 test -s "$work/display" && kill -0 "$xvfb" 2>/dev/null; then
    pids+=("$xvfb")
    break
  fi
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=
done
[ -n "${xvfb:-}" ] || { echo "FAIL: no display could be started"; exit 1; }
export DISPLAY=:$(tr -d '\n' <"$work/display")

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 100 wm_running || { echo "FAIL: openbox did not start"; exit 1; }

# A copy of the program in a folder of its own: Settings.ini is kept beside
# it there, not in the build folder, and no user settings are read.
mkdir -p "$work/app" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$work/app/vexillo"
settings=$work/app/Settings.ini

app=
start_program() {
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb \
    "$work/app/vexillo" >>"$work/log" 2>&1 &
  app=$!
  pids+=("$app")
}

# The program's main window (the shown window whose title begins with the
# program's name) once the window manager has framed it.
window=
framed() {
  window=$(xdotool search --onlyvisible --name '^Vexillo' 2>/dev/null | head -1)
  [ -n "$window" ] && xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '='
}

# "left top width height" of the outermost window that holds $1 below the
# root: the window manager's frame.
frame_of() {
  local w=$1 parent
  while :; do
    parent=$(xwininfo -children -id "$w" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    xwininfo -id "$parent" | grep -q '(the root window)' && break
    w=$parent
  done
  xwininfo -id "$w" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
                           /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}'
}

expect_frame() { # what, expected "left top width height"
  local got
  got=$(frame_of "$window")
  [ "$got" = "$2" ] || fail "$1: the frame is at '$got', expected '$2'"
}

# Sends the window manager's close (Alt+F4) and waits for the program to end.
close_program() {
  xdotool key --clearmodifiers alt+F4
  wait_for 100 bash -c "! kill -0 $app 2>/dev/null" || fail "the program did not end when closed"
}

drag() { # from-x from-y to-x to-y, in steps as a hand would
  xdotool mousemove "$1" "$2" mousedown 1
  sleep 0.2
  xdotool mousemove $(($1 + ($3 - $1) / 2)) $(($2 + ($4 - $2) / 2))
  sleep 0.2
  xdotool mousemove "$3" "$4"
  sleep 0.2
  xdotool mouseup 1
}

# First start: the frame as designed, and a settings file without a place.
start_program
wait_for 150 framed || { echo "FAIL: no framed window"; cat "$work/log"; exit 1; }
sleep 0.5
expect_frame "first start" "244 129 711 482"

# The Search Disk dialog, centred on the frame.
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key p
if wait_for 50 bash -c "xdotool search --onlyvisible --name '^Search Disk' >/dev/null"; then
  sleep 0.5
  read -r dx dy dw dh <<<"$(frame_of "$(xdotool search --onlyvisible --name '^Search Disk' | head -1)")"
  off_x=$(((dx + dw / 2) - (244 + 711 / 2)))
  off_y=$(((dy + dh / 2) - (129 + 482 / 2)))
  ((${off_x#-} <= 3 && ${off_y#-} <= 3)) || fail "the dialog's centre is off the window's by $off_x,$off_y"
  xdotool key Escape
  wait_for 50 bash -c "! xdotool search --onlyvisible --name '^Search Disk' >/dev/null"
else
  fail "the Search Disk dialog did not open"
fi
close_program
grep -q '^\[Window\]' "$settings" && fail "a first start without a move wrote a window place"
grep -q '^Toolbar=1' "$settings" || fail "the first start's settings were not written"

# The user moves the window by its title bar, then resizes it by its corner.
start_program
wait_for 150 framed || { echo "FAIL: no framed window"; exit 1; }
sleep 0.5
drag 400 139 500 319
sleep 1
expect_frame "after the title-bar drag" "344 309 711 482"
drag $((344 + 711 - 2)) $((309 + 482 - 2)) $((344 + 711 + 38)) $((309 + 482 + 28))
sleep 1
expect_frame "after the corner drag" "344 309 751 512"
close_program
for pair in Left=344 Top=309 Width=751 Height=512; do
  grep -qx "$pair" "$settings" || fail "Settings.ini lacks $pair"
done

# The next start opens where the user left the window.
start_program
wait_for 150 framed || { echo "FAIL: no framed window"; exit 1; }
sleep 0.5
expect_frame "the next start" "344 309 751 512"
close_program

if ((failures > 0)); then
  echo "--- Settings.ini"
  cat "$settings"
  exit 1
fi
echo "The window keeps its frame under openbox."
