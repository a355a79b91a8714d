#!/usr/bin/env bash
# The saver on real X servers: its windows appear, a key, mouse movement or
# the loss of the focus to another application ends the full-screen saver, `scripts/run` opens the test window (which keys
# do not end and closing ends), the preview lives inside a foreign window of
# another process, follows its size and ends cleanly when that window goes,
# and with Xorg's dummy driver and xrandr there is one window per monitor;
# /c shows the settings dialog, which opens the display settings dialog.
#
# Usage: tests/x11/run.sh [saver binary]   (default: build/test/tessaloom-saver)
# Exits 0 when every check passed, or when no X server can be started (the
# reason is printed); 1 when a check failed.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
saver="${1:-$root/build/test/tessaloom-saver}"

skip() { echo "x11 checks skipped: $*"; exit 0; }
for tool in Xvfb xdotool xwininfo xprop python3 cc; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
if [ ! -x "$saver" ]; then echo "x11 checks: no saver at $saver"; exit 1; fi

work="$(mktemp -d /tmp/tessaloom-x11.XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cc -O1 -o "$work/x11_helper" "$root/tests/x11/x11_helper.c" -lX11 -lXtst || skip "the X helper does not build"
helper="$work/x11_helper"
# The number of distinct pixel values in a window (or "root"), optionally in
# its WxH part at X,Y, read by the helper straight from the server: sets
# $colours, or $colours_error with the helper's reason when it cannot count.
count_colours() {
  colours_error=""
  if colours="$("$helper" colours "$@" 2>"$work/colours.err")" && [ -n "$colours" ]; then return 0; fi
  colours=""
  colours_error="$(tail -1 "$work/colours.err")"
  colours_error="the colour count failed (${colours_error:-no reason given})"
  return 1
}

export SDL_VIDEODRIVER=x11
# The saver reports its frame rate once a second: the checks wait for frames.
export TESSALOOM_FRAME_STATS=1
unset EGL_PLATFORM
export TESSALOOM_REGISTRY_DIR="$work/registry"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:intercept_tls_get_addr=0}"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"

failures=0
pass() { echo "  ok   $*"; }
fail() { echo "  FAIL $*"; failures=$((failures + 1)); }

# Starts an X server from "$@" with -displayfd; sets DISPLAY; false when it does not come up.
start_server() {
  local log="$1"; shift
  rm -f "$work/display"
  "$@" -displayfd 3 3>"$work/display" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    if [ -s "$work/display" ]; then
      export DISPLAY=":$(head -1 "$work/display" | tr -d '[:space:]')"
      return 0
    fi
    kill -0 "${pids[-1]}" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

saver_windows() { xdotool search --onlyvisible --class tessaloom-saver 2>/dev/null; }

# wait_windows N SECONDS PID: true once N saver windows are visible.
wait_windows() {
  for _ in $(seq $(($2 * 10))); do
    [ "$(saver_windows | wc -l)" -ge "$1" ] && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# wait_exit PID SECONDS: the exit code, or 124 when it still runs.
wait_exit() {
  for _ in $(seq $(($2 * 10))); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"
      return $?
    fi
    sleep 0.1
  done
  return 124
}

geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print w "x" h "+" x "+" y}'; }

start_saver() {
  "$saver" "$@" >"$work/saver.log" 2>&1 &
  saver_pid=$!
  pids+=($saver_pid)
}

# Whether the first unit has reported frames drawn with the software device.
software_frames() { grep 'unit 0: ' "$work/saver.log" | grep -v ' 0.00 fps' | grep -q 'SW (sw vp)'; }
# Waits up to 60 s for them while the saver runs.
wait_software_frames() {
  for _ in $(seq 600); do
    software_frames && return 0
    kill -0 "$saver_pid" 2>/dev/null || break
    sleep 0.1
  done
  software_frames
}
show_log() { sed 's/^/         /' "$1" | tail -20; }

# A saver that failed to end by itself is ended here, so that its window does
# not stand in the way of the checks after it.
end_stray() {
  kill -0 "$1" 2>/dev/null || return 0
  kill "$1" 2>/dev/null
  wait_exit "$1" 5 >/dev/null || kill -9 "$1" 2>/dev/null
}

# Where a saver that should have ended is waiting (when gdb is there).
show_stack() {
  kill -0 "$1" 2>/dev/null || return 0
  command -v gdb >/dev/null 2>&1 || return 0
  gdb -p "$1" -batch -ex 'thread 1' -ex 'bt 30' 2>/dev/null | grep -E '^#' | sed 's/^/         /' | head -30
}

# --- one screen: Xvfb ---------------------------------------------------------
start_server "$work/xvfb.log" Xvfb -screen 0 1024x768x24 -nolisten tcp || skip "Xvfb does not start: $(tail -3 "$work/xvfb.log")"
echo "x11 checks on Xvfb $DISPLAY"

# Another application's window, which takes the focus from the saver below.
mkfifo "$work/other.in"
"$helper" parent 100 100 <"$work/other.in" >"$work/other.out" 2>&1 &
pids+=($!)
exec 8>"$work/other.in"
for _ in $(seq 50); do [ -s "$work/other.out" ] && break; sleep 0.1; done
# other_says WORD SECONDS: true once the helper answered WORD.
other_says() {
  for _ in $(seq $(($2 * 100))); do grep -qx "$1" "$work/other.out" && return 0; sleep 0.01; done
  return 1
}

# A key ends the full-screen saver; the time from the key press to its window
# leaving the screen is printed.  The loop reads input between frames, so the
# figure is bounded by one frame, which on a loaded machine with the
# sanitizer build and a software renderer takes seconds: it is a measurement,
# and only a key that does not end the saver fails.
start_saver /s
if wait_windows 1 30 "$saver_pid"; then
  w="$(saver_windows | head -1)"
  g="$(geometry "$w")"
  [ "$g" = "1024x768+0+0" ] && pass "full screen: the window covers the screen" || fail "full screen: window at $g"
  # Frames are being drawn.  The first rate report counts from the clock's
  # start, not the saver's, and the second holds the start-up's first
  # frames (seconds each in the sanitizer build): the third is the first
  # that tells the rate the key is pressed at.
  for _ in $(seq 600); do [ "$(grep -c ' fps ' "$work/saver.log")" -ge 3 ] && break; sleep 0.1; done
  ms="$("$helper" keylatency "$w")"
  wait_exit "$saver_pid" 10; rc=$?
  rate="$(grep -o '[0-9.]* fps' "$work/saver.log" | tail -1)"
  if [ $rc -ne 0 ] || [ "$ms" = timeout ]; then
    fail "full screen: key press, exit $rc, window left after $ms ms"; show_log "$work/saver.log"; end_stray "$saver_pid"
  else
    pass "full screen: a key press ends the saver ($ms ms from the key to the window leaving the screen, at ${rate:-no rate reported})"
  fi
else
  fail "full screen: no window appeared"; show_log "$work/saver.log"
fi

start_saver /s
if wait_windows 1 30 "$saver_pid"; then
  for i in $(seq 10); do xdotool mousemove $((200 + i * 13)) $((300 + i * 7)); sleep 0.05; done
  wait_exit "$saver_pid" 10; rc=$?
  [ $rc -eq 0 ] && pass "full screen: mouse movement ends the saver" || { fail "full screen: mouse movement, exit $rc"; show_log "$work/saver.log"; end_stray "$saver_pid"; }
else
  fail "full screen (mouse): no window appeared"; show_log "$work/saver.log"
fi

# Another application takes the focus as soon as the saver's window has it,
# while the saver is still starting (Direct3D, the device, the document):
# the focus comes and goes before the saver reads its first event.
start_saver /s
echo "steal tessaloom-saver" >&8
if other_says stolen 60; then
  if grep -q ' fps ' "$work/saver.log"; then
    fail "full screen: the focus was taken only after the first frames"
  else
    wait_exit "$saver_pid" 10; rc=$?
    [ $rc -eq 0 ] && pass "full screen: focus taken during start-up ends the saver" || { fail "full screen: focus taken during start-up, exit $rc"; show_log "$work/saver.log"; show_stack "$saver_pid"; end_stray "$saver_pid"; }
  fi
else
  fail "full screen (focus at start-up): the saver's window never had the focus"; show_log "$work/saver.log"
fi
end_stray "$saver_pid"

# The same once the saver draws: taking the focus to the saver's own window
# does not end it, another application taking it does.
start_saver /s
if wait_windows 1 30 "$saver_pid"; then
  for _ in $(seq 300); do grep -q ' fps ' "$work/saver.log" && break; sleep 0.1; done
  xdotool windowfocus "$(saver_windows | head -1)"
  sleep 0.5
  kill -0 "$saver_pid" 2>/dev/null && pass "full screen: taking the focus to its own window does not end it" || fail "full screen: ended on its own focus"
  echo focus >&8
  other_says focused 10
  wait_exit "$saver_pid" 10; rc=$?
  [ $rc -eq 0 ] && pass "full screen: another application taking the focus after the first frame ends the saver" || { fail "full screen: focus taken after the first frame, exit $rc"; show_log "$work/saver.log"; show_stack "$saver_pid"; end_stray "$saver_pid"; }
else
  fail "full screen (focus): no window appeared"; show_log "$work/saver.log"
fi
echo destroy >&8
exec 8>&-

# SIGTERM, as a desktop's screen-saver manager sends it, ends the full-screen
# saver the way a key does, through its message loop; the process then ends
# by that signal (status 143), so that the sender sees why.  The time from
# the signal to the end is printed (a measurement, as the key's above).
start_saver /s
if wait_windows 1 30 "$saver_pid"; then
  for _ in $(seq 600); do [ "$(grep -c ' fps ' "$work/saver.log")" -ge 3 ] && break; sleep 0.1; done
  t0=$(date +%s%N)
  kill -TERM "$saver_pid"
  for _ in $(seq 2000); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.01; done
  ms=$(( ($(date +%s%N) - t0) / 1000000 ))
  wait_exit "$saver_pid" 10; rc=$?
  if [ $rc -eq 143 ]; then
    pass "full screen: SIGTERM ends the saver, and the process by that signal (status 143, $ms ms after the signal)"
  else
    fail "full screen: SIGTERM, exit $rc after $ms ms"; show_log "$work/saver.log"; end_stray "$saver_pid"
  fi
  grep -q 'AddressSanitizer\|runtime error' "$work/saver.log" && { fail "full screen: SIGTERM, a sanitizer report"; show_log "$work/saver.log"; }
else
  fail "full screen (SIGTERM): no window appeared"; show_log "$work/saver.log"
fi

# The test window through scripts/run (which builds the saver first).
"$root/scripts/run" /t >"$work/run.log" 2>&1 &
run_pid=$!
pids+=($run_pid)
if wait_windows 1 900 "$run_pid"; then
  w="$(saver_windows | head -1)"
  g="$(geometry "$w")"
  [ "${g%%+*}" = "600x400" ] && pass "scripts/run: the test window has a 600x400 client area" || fail "scripts/run: test window $g"
  xdotool key space
  sleep 1
  kill -0 "$run_pid" 2>/dev/null && pass "test window: a key press does not end it" || fail "test window: ended on a key press"
  "$helper" close "$w"
  wait_exit "$run_pid" 10; rc=$?
  [ $rc -eq 0 ] && pass "test window: closing it ends the saver" || { fail "test window: close, exit $rc"; show_log "$work/run.log"; }
else
  fail "scripts/run /t: no window appeared"; show_log "$work/run.log"
fi

# The preview inside a window of another process.
mkfifo "$work/parent.in"
"$helper" parent 320 240 <"$work/parent.in" >"$work/parent.out" 2>&1 &
pids+=($!)
exec 7>"$work/parent.in"
for _ in $(seq 50); do [ -s "$work/parent.out" ] && break; sleep 0.1; done
parent="$(head -1 "$work/parent.out")"
child_geometry() { xwininfo -children -id "$parent" 2>/dev/null | awk '/tessaloom-saver/{print $(NF-1)}' | head -1; }
start_saver /p "$parent"
g=""
for _ in $(seq 100); do g="$(child_geometry)"; [ -n "$g" ] && break; sleep 0.1; done
if [ -n "$g" ]; then
  [ "$g" = "320x240+0+0" ] && pass "preview: a child of the foreign window fills it" || fail "preview: child at $g"
  echo "resize 400 300" >&7
  for _ in $(seq 50); do g="$(child_geometry)"; [ "$g" = "400x300+0+0" ] && break; sleep 0.1; done
  [ "$g" = "400x300+0+0" ] && pass "preview: the child follows the parent's size" || fail "preview: after resize $g"
  # A parent far larger than the screen: the child stops at the screen's
  # size (its pixels are what it costs), and follows the parent down again.
  echo "resize 16000 16000" >&7
  for _ in $(seq 100); do g="$(child_geometry)"; [ "$g" = "1024x768+0+0" ] && break; sleep 0.1; done
  [ "$g" = "1024x768+0+0" ] && pass "preview: beside a 16000x16000 parent the child stops at the screen's 1024x768" || fail "preview: beside a 16000x16000 parent the child is $g"
  echo "resize 400 300" >&7
  for _ in $(seq 100); do g="$(child_geometry)"; [ "$g" = "400x300+0+0" ] && break; sleep 0.1; done
  [ "$g" = "400x300+0+0" ] && pass "preview: and follows it back down to 400x300" || fail "preview: back at 400x300 the child is $g"
  xdotool mousemove 10 10 mousemove 60 40 mousemove 90 90 mousemove 20 70 mousemove 50 50 mousemove 80 20 mousemove 30 30 key space
  sleep 1
  kill -0 "$saver_pid" 2>/dev/null && pass "preview: keys and mouse movement do not end it" || fail "preview: ended on input"
  echo destroy >&7
  exec 7>&-
  wait_exit "$saver_pid" 10; rc=$?
  [ $rc -eq 0 ] && pass "preview: the parent's destruction ends the saver cleanly" || { fail "preview: parent destroyed, exit $rc"; show_log "$work/saver.log"; show_stack "$saver_pid"; }
else
  exec 7>&-
  fail "preview: no child window in the foreign parent"; show_log "$work/saver.log"
fi

# With hardware rendering switched off the test window draws with the
# software device (Mesa's software rasteriser, shown through the window's own
# surface).
mkdir -p "$TESSALOOM_REGISTRY_DIR"
printf 'REGEDIT4\n\n[%s\\Screen 1]\n"Disable Hardware"=dword:00000001\n' \
  'HKEY_CURRENT_USER\Software\Velcrest\Tessaloom Maker\Screensaver' >"$TESSALOOM_REGISTRY_DIR/user.reg"
start_saver /t
if wait_windows 1 30 "$saver_pid"; then
  wait_software_frames
  w="$(saver_windows | head -1)"
  if ! count_colours "$w"; then
    fail "hardware off: test window: $colours_error"
  elif software_frames && [ "$colours" -gt 256 ]; then
    pass "hardware off: the test window draws with the software device ($colours colours)"
  else
    fail "hardware off: test window, $colours colours"; show_log "$work/saver.log"
  fi
  "$helper" close "$w"
  wait_exit "$saver_pid" 10 || end_stray "$saver_pid"
else
  fail "hardware off: no test window appeared"; show_log "$work/saver.log"
fi
rm -f "$TESSALOOM_REGISTRY_DIR/user.reg"

# The settings dialog of /c: a GTK dialog (not one flat colour); Alt+D opens
# the display settings dialog from it; Esc closes each, and the saver then
# exits 0.
dialog_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
wait_dialog() {
  local w
  for _ in $(seq $(($2 * 10))); do
    w="$(dialog_window "$1")"
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
# GTK's accessibility bridge leaves an allocation behind at exit, which the
# leak checker (with its fast unwinding) cannot tell from ours.
NO_AT_BRIDGE=1 start_saver /c
if settings="$(wait_dialog Tessaloom 60)"; then
  sleep 1
  if ! count_colours "$settings"; then
    fail "/c: the settings dialog: $colours_error"
  elif [ "$colours" -gt 8 ]; then
    pass "/c: the settings dialog is drawn ($colours colours)"
  else
    fail "/c: the settings dialog shows $colours colours"
  fi
  xdotool windowfocus --sync "$settings" key alt+d
  if display="$(wait_dialog "Display Settings" 20)"; then
    pass "/c: Alt+D opens the display settings dialog"
    xdotool windowfocus --sync "$display" key Escape
    for _ in $(seq 50); do [ -z "$(dialog_window "Display Settings")" ] && break; sleep 0.1; done
    [ -z "$(dialog_window "Display Settings")" ] && pass "/c: Esc closes the display settings dialog" || fail "/c: the display settings dialog stays after Esc"
  else
    fail "/c: Alt+D opened no display settings dialog"
  fi
  xdotool windowfocus --sync "$settings" key Escape
  wait_exit "$saver_pid" 10; rc=$?
  [ $rc -eq 0 ] && pass "/c: Esc closes the settings dialog and the saver exits 0" || { fail "/c: Esc, exit $rc"; show_log "$work/saver.log"; show_stack "$saver_pid"; end_stray "$saver_pid"; }
else
  fail "/c: no settings dialog appeared"; show_log "$work/saver.log"; end_stray "$saver_pid"
fi

# The settings dialogs from the keyboard, as a person would: Alt+D opens the
# display settings; there Alt+H shows the help, a box of the dialog centred
# on it, Alt+D turns hardware rendering off, Alt+M (the mode list's label)
# moves the focus to the mode list and Down chooses the first mode after
# Automatic; Alt+S opens the sound settings, where the volume goes to 0 from
# the keyboard; Enter presses OK in each dialog.  The choices are then in the
# registry file, and the next /t draws with the software device.
reg="$TESSALOOM_REGISTRY_DIR/user.reg"
saver_key='HKEY_CURRENT_USER\Software\Velcrest\Tessaloom Maker\Screensaver'
mkdir -p "$TESSALOOM_REGISTRY_DIR"
rm -f "$reg"
# trackbar_look WINDOW: of the widest band of columns drawn down most of the
# window's height (a trackbar's channel; a frame's edge is one column), the
# rows of that band with something drawn left of it and right of it but
# apart from it (its ticks), and its pixels in the accent colour (a fill up to the thumb).
trackbar_look() {
  "$helper" pixels "$1" | python3 -c 'import sys
from collections import Counter
d = sys.stdin.buffer.read()
magic, size, depth, pixels = d.split(b"\n", 3)
w, h = map(int, size.split())
start = len(d) - len(pixels)
def px(x, y):
    o = start + (y * w + x) * 3
    return (d[o], d[o + 1], d[o + 2])
bg = Counter(px(x, y) for y in range(h) for x in range(w)).most_common(1)[0][0]
count = [sum(px(x, y) != bg for y in range(h)) for x in range(w)]
bands, x = [], 0
while x < w:
    if count[x] > h // 2:
        x0 = x
        while x < w and count[x] > h // 2: x += 1
        bands.append((x - x0, x0, x))
    x += 1
_, left, right = max(bands)
rows = [y for y in range(h) if all(px(x, y) != bg for x in range(left, right))]
top, bottom = min(rows), max(rows)
def thumb(y):  # drawn right beside the channel: the thumb, not a tick
    return px(left - 1, y) != bg or px(right, y) != bg
def marked(x0, x1):
    return sum(any(px(x, y) != bg for x in range(x0, x1)) for y in range(top, bottom + 1) if not thumb(y))
accent = sum(1 for y in range(top, bottom + 1) for x in range(left, right) if px(x, y)[2] - px(x, y)[0] > 50)
print(marked(max(0, left - 14), left - 4), marked(right + 4, min(w, right + 14)), accent)'
}
# centre WINDOW: the centre of a window on the screen.
centre() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print int(x + w / 2) " " int(y + h / 2)}'; }
NO_AT_BRIDGE=1 start_saver /c
if settings="$(wait_dialog Tessaloom 60)"; then
  xdotool windowfocus --sync "$settings" key alt+d
  if display="$(wait_dialog "Display Settings" 20)"; then
    xdotool windowfocus --sync "$display" key alt+h
    box=""
    for _ in $(seq 100); do
      box="$(xdotool search --onlyvisible --name . 2>/dev/null | while read -r w; do
        [ "$w" != "$display" ] && [ "$w" != "$settings" ] && xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -q "window id # $(printf '0x%x' "$display")\$" && echo "$w"
      done | head -1)"
      [ -n "$box" ] && break
      sleep 0.1
    done
    if [ -n "$box" ]; then
      read -r bx by <<<"$(centre "$box")"
      read -r dx dy <<<"$(centre "$display")"
      if [ $((bx - dx)) -ge -2 ] && [ $((bx - dx)) -le 2 ] && [ $((by - dy)) -ge -2 ] && [ $((by - dy)) -le 2 ]; then
        pass "dialogs: Alt+H shows the help in a box of the display dialog, centred on it ($(geometry "$box"))"
      else
        fail "dialogs: the help box's centre $bx,$by is not the display dialog's $dx,$dy"
      fi
      xdotool windowfocus --sync "$box" key Return
      for _ in $(seq 50); do xwininfo -id "$box" >/dev/null 2>&1 || break; sleep 0.1; done
    else
      fail "dialogs: Alt+H showed no box owned by the display dialog"
    fi
    xdotool windowfocus --sync "$display" key alt+d
    xdotool key alt+m
    xdotool key Down
    xdotool key Return
    for _ in $(seq 50); do [ -z "$(dialog_window "Display Settings")" ] && break; sleep 0.1; done
    # The sound settings: Tab twice reaches the volume trackbar and End puts
    # its thumb at the bottom (no volume).  Its channel is not filled up to
    # the thumb, its ticks lie on both sides of it, and OK stores volume 0.
    xdotool windowfocus --sync "$settings" key alt+s
    if sound="$(wait_dialog "Sound Settings" 20)"; then
      before="$("$helper" pixels "$sound" | md5sum)"
      xdotool windowfocus --sync "$sound" key Tab Tab End
      for _ in $(seq 50); do [ "$("$helper" pixels "$sound" | md5sum)" != "$before" ] && break; sleep 0.1; done
      read -r ticks_left ticks_right filled <<<"$(trackbar_look "$sound")"
      if [ "${ticks_left:-0}" -ge 8 ] && [ "${ticks_right:-0}" -ge 8 ] && [ "${filled:-1}" -eq 0 ]; then
        pass "dialogs: the volume trackbar has ticks on both sides and an unfilled channel (rows with ticks $ticks_left left, $ticks_right right)"
      else
        fail "dialogs: the volume trackbar shows rows with ticks ${ticks_left:-?} left, ${ticks_right:-?} right, ${filled:-?} filled pixels in its channel"
      fi
      xdotool windowfocus --sync "$sound" key Return
      for _ in $(seq 50); do [ -z "$(dialog_window "Sound Settings")" ] && break; sleep 0.1; done
    else
      fail "dialogs: Alt+S opened no sound settings dialog"
    fi
    xdotool windowfocus --sync "$settings" key Return
    wait_exit "$saver_pid" 10; rc=$?
    disable="$(awk -v key="[$saver_key\\Screen 1]" '$0 == key {k = 1; next} /^\[/ {k = 0} k && /^"Disable Hardware"=/' "$reg" 2>/dev/null)"
    width="$(awk -v key="[$saver_key\\Screen 1]" '$0 == key {k = 1; next} /^\[/ {k = 0} k && /^"Width"=/' "$reg" 2>/dev/null)"
    volume="$(awk -v key="[$saver_key]" '$0 == key {k = 1; next} /^\[/ {k = 0} k && /SoundVolume/' "$reg" 2>/dev/null)"
    if [ $rc -eq 0 ] && [ "$disable" = '"Disable Hardware"=dword:00000001' ] && [ -n "$width" ] && [ "$width" != '"Width"=dword:00000000' ] && [ "${volume##*=}" = 'dword:00000000' ]; then
      pass "dialogs: the keyboard's choices are stored on OK ($disable, $width, $volume)"
    else
      fail "dialogs: after OK, exit $rc, stored '${disable:-no Disable Hardware}' '${width:-no Width}' '${volume:-no SoundVolume}'"; show_log "$work/saver.log"; show_log "$reg"; end_stray "$saver_pid"
    fi
  else
    fail "dialogs: Alt+D opened no display settings dialog"; end_stray "$saver_pid"
  fi
else
  fail "dialogs: no settings dialog appeared"; show_log "$work/saver.log"; end_stray "$saver_pid"
fi
start_saver /t
if wait_windows 1 30 "$saver_pid"; then
  wait_software_frames
  software_frames && pass "dialogs: the next /t draws with the software device the dialog chose" || { fail "dialogs: the next /t does not draw with the software device"; show_log "$work/saver.log"; }
  "$helper" close "$(saver_windows | head -1)"
  wait_exit "$saver_pid" 10 || end_stray "$saver_pid"
else
  fail "dialogs: no test window appeared after the settings"; show_log "$work/saver.log"
fi
rm -f "$reg"

# --- several monitors: Xorg's dummy driver with xrandr ----------------------------
xorg=""
for candidate in /usr/lib/xorg/Xorg "$(command -v Xorg 2>/dev/null)"; do
  [ -n "$candidate" ] && [ -x "$candidate" ] && { xorg="$candidate"; break; }
done
multi_skip=""
if [ -z "$xorg" ] || ! command -v xrandr >/dev/null 2>&1; then
  multi_skip="Xorg or xrandr is not installed"
elif ! start_server "$work/xorg.out" "$xorg" -config "$root/tests/x11/dummy.conf" -noreset -nolisten tcp \
      -logfile "$work/xorg.log"; then
  multi_skip="Xorg with the dummy driver does not start: $(tail -2 "$work/xorg.out" | tr '\n' ' ')"
fi
if [ -n "$multi_skip" ]; then
  echo "  skip several monitors: $multi_skip"
else
  echo "x11 checks on Xorg (dummy driver) $DISPLAY"
  ok=""
  for _ in $(seq 20); do
    xrandr --output DUMMY0 --mode 1024x768 >/dev/null 2>&1
    xrandr --addmode DUMMY1 1024x768 >/dev/null 2>&1
    xrandr --output DUMMY1 --mode 1024x768 --right-of DUMMY0 >/dev/null 2>&1
    xrandr --addmode DUMMY2 800x600 >/dev/null 2>&1
    xrandr --output DUMMY2 --mode 800x600 --right-of DUMMY1 >/dev/null 2>&1
    if [ "$(xrandr --listmonitors 2>/dev/null | head -1)" = "Monitors: 3" ]; then ok=1; break; fi
    sleep 0.5
  done
  if [ -z "$ok" ]; then
    echo "  skip several monitors: xrandr did not make three monitors"
  else
    TESSALOOM_FRAME_STATS=1 start_saver /s
    if wait_windows 3 30 "$saver_pid"; then
      got="$(for w in $(saver_windows); do geometry "$w"; done | sort -t+ -k2 -n | tr '\n' ' ')"
      [ "$got" = "1024x768+0+0 1024x768+1024+0 800x600+2048+0 " ] && pass "three monitors: one window on each" || fail "three monitors: windows $got"
      # Each unit reports its device and frame rate once a second while it
      # draws; the first reports come once the document is loaded and the
      # first frames drawn, which on a loaded machine takes a while.
      units=""
      for _ in $(seq 600); do
        units="$(grep -o 'unit [0-9]: HAL[^,]*, [0-9.]* fps ([0-9x]*)' "$work/saver.log" | cut -c1-6 | sort -u | tr '\n' ' ')"
        [ "$units" = "unit 0 unit 1 unit 2 " ] && break
        kill -0 "$saver_pid" 2>/dev/null || break
        sleep 0.1
      done
      [ "$units" = "unit 0 unit 1 unit 2 " ] && pass "three monitors: three full-screen units draw frames" || { fail "three monitors: units drawing: '$units'"; show_log "$work/saver.log"; }
      xdotool key space
      wait_exit "$saver_pid" 10; rc=$?
      [ $rc -eq 0 ] && pass "three monitors: a key press ends the saver" || { fail "three monitors: key press, exit $rc"; show_log "$work/saver.log"; }
    else
      fail "three monitors: the windows did not appear ($(saver_windows | wc -l))"; show_log "$work/saver.log"
    fi

    # --- the display settings' video mode and hardware switch ------------------
    # The registry values the display settings dialog leaves (through the
    # settings dialog's OK) choose the mode of the next full-screen run; the
    # saver switches the monitor to it and the desktop gets its own mode back
    # when the saver ends.  A mode whose device cannot be made falls back to
    # the largest smaller one, which is then stored for the next run.
    reg="$TESSALOOM_REGISTRY_DIR/user.reg"
    saver_key='HKEY_CURRENT_USER\Software\Velcrest\Tessaloom Maker\Screensaver'
    desktop="$(xrandr | awk '/^DUMMY[0-2] connected/{print $1 " " ($3 == "primary" ? $4 : $3)}' | tr '\n' ' ')"
    output_mode() { xrandr | awk -v o="$1" '$1 == o && $2 == "connected" {g = ($3 == "primary" ? $4 : $3); sub(/\+.*/, "", g); print g}'; }
    # screen_values N WIDTH HEIGHT DISABLE [ADAPTER_ID_LINE]: one monitor's subkey.
    screen_values() {
      printf '\n[%s\\Screen %d]\n"Leave Black"=dword:00000000\n"Disable Hardware"=dword:%08x\n' "$saver_key" "$1" "$4"
      printf '"Width"=dword:%08x\n"Height"=dword:%08x\n"Format"=dword:00000016\n' "$2" "$3"
      [ -n "${5:-}" ] && printf '%s\n' "$5"
    }
    reg_value() {  # reg_value N NAME: the value's data in monitor N's subkey
      awk -v key="[$saver_key\\Screen $1]" -v name="\"$2\"" '$0 == key {in_key = 1; next} /^\[/ {in_key = 0}
        in_key && index($0, name "=") == 1 {print substr($0, length(name) + 2)}' "$reg"
    }
    # wait_unit_mode UNIT TEXT: true once the unit reports frames with TEXT in its line.
    wait_unit_mode() {
      for _ in $(seq 600); do
        grep "unit $1: " "$work/saver.log" | grep -v ' 0.00 fps' | grep -qF "$2" && return 0
        kill -0 "$saver_pid" 2>/dev/null || return 1
        sleep 0.1
      done
      return 1
    }
    end_and_check_desktop() {  # end_and_check_desktop WHAT
      xdotool key space
      wait_exit "$saver_pid" 20; rc=$?
      [ $rc -eq 0 ] || { fail "$1: a key press, exit $rc"; show_log "$work/saver.log"; end_stray "$saver_pid"; }
      now="$(xrandr | awk '/^DUMMY[0-2] connected/{print $1 " " ($3 == "primary" ? $4 : $3)}' | tr '\n' ' ')"
      [ "$now" = "$desktop" ] && pass "$1: the desktop's modes are back after the saver ($now)" || fail "$1: after the saver '$now', not '$desktop'"
    }

    # A stored 800x600 whose device creation fails on the first monitor.
    mkdir -p "$TESSALOOM_REGISTRY_DIR"
    { echo REGEDIT4; screen_values 1 800 600 0; } >"$reg"
    TESSALOOM_D3D9_FAIL_CREATE_DEVICE=0:800x600 start_saver /s
    if wait_windows 3 30 "$saver_pid" && wait_unit_mode 0 "(864x486x32)"; then
      got="$(output_mode DUMMY0)"
      [ "$got" = "864x486" ] && pass "failing mode: 800x600 cannot be made, the saver runs in the largest smaller mode 864x486" || fail "failing mode: DUMMY0 in $got while the unit reports 864x486"
      end_and_check_desktop "failing mode"
      stored="$(reg_value 1 Width) $(reg_value 1 Height) $(reg_value 1 Format)"
      [ "$stored" = "dword:00000360 dword:000001e6 dword:00000016" ] && pass "failing mode: the mode that worked is stored for the next run" || fail "failing mode: stored '$stored'"
      adapter_id="$(grep -F '"Adapter ID"=' "$reg" | head -1)"
      [ -n "$adapter_id" ] || fail "failing mode: no adapter id stored with the mode"
    else
      fail "failing mode: the saver did not draw in 864x486"; show_log "$work/saver.log"; end_stray "$saver_pid"
      adapter_id=""
    fi

    # The dialog's choices: 800x600 on the first monitor (for the adapter the
    # last run stored), hardware rendering off on the second.
    { echo REGEDIT4; screen_values 1 800 600 0 "$adapter_id"; screen_values 2 0 0 1; } >"$reg"
    start_saver /s
    if wait_windows 3 30 "$saver_pid" && wait_unit_mode 0 "(800x600x32)"; then
      got="$(output_mode DUMMY0)"
      [ "$got" = "800x600" ] && pass "chosen mode: the first monitor runs in the stored 800x600" || fail "chosen mode: DUMMY0 in $got"
      # The software device takes its own mode (the smallest, 720x405 here)
      # and draws real frames there, through Mesa's software rasteriser.
      if wait_unit_mode 1 "SW (sw vp)"; then
        line="$(grep 'unit 1: ' "$work/saver.log" | grep -v ' 0.00 fps' | tail -1)"
        mode="$(echo "$line" | grep -o '([0-9]*x[0-9]*x' | tr -d '(' | sed 's/x$//')"
        got="$(output_mode DUMMY1)"
        [ "$got" = "$mode" ] && pass "hardware off: the second monitor draws with the software device (${line#*unit 1: })" || fail "hardware off: DUMMY1 in $got, the unit reports $mode"
        x0="$(xrandr | awk '$1 == "DUMMY1" {g = $3; sub(/^[0-9]*x[0-9]*\+/, "", g); sub(/\+.*/, "", g); print g}')"
        w="${mode%x*}"; h="${mode#*x}"
        if ! count_colours root "$w" "$h" "$x0" 0; then
          fail "hardware off: the software device's monitor: $colours_error"
        elif [ "$colours" -gt 256 ]; then
          pass "hardware off: the software device's monitor shows the scene ($colours colours in ${w}x${h})"
        else
          fail "hardware off: the software device's monitor shows $colours colours"
        fi
        # Its EGL context and the other monitors' GLX contexts take turns on one thread.
        if grep -q 'could not make a GL context current' "$work/saver.log"; then
          fail "hardware off: a device's GL context could not be made current"
        else
          pass "hardware off: the software and hardware devices' contexts take turns cleanly"
        fi
      else
        fail "hardware off: no software device drew on the second monitor"; show_log "$work/saver.log"
      fi
      end_and_check_desktop "chosen mode"
      stored="$(reg_value 1 Width) $(reg_value 1 Height)"
      [ "$stored" = "dword:00000320 dword:00000258" ] && pass "chosen mode: a mode that worked at once is left as stored" || fail "chosen mode: stored '$stored'"
    else
      fail "chosen mode: the saver did not draw in 800x600"; show_log "$work/saver.log"; end_stray "$saver_pid"
    fi

    # SIGTERM while the first monitor runs in a mode of the saver's own: the
    # desktop gets its modes back, as after a key, and the process ends by
    # the signal.
    { echo REGEDIT4; screen_values 1 800 600 0 "$adapter_id"; } >"$reg"
    start_saver /s
    if wait_windows 3 30 "$saver_pid" && wait_unit_mode 0 "(800x600x32)"; then
      got="$(output_mode DUMMY0)"
      [ "$got" = "800x600" ] || fail "SIGTERM: DUMMY0 in $got before the signal, not 800x600"
      kill -TERM "$saver_pid"
      wait_exit "$saver_pid" 20; rc=$?
      [ $rc -eq 143 ] && pass "SIGTERM: the saver in a mode of its own ends by the signal (status 143)" || { fail "SIGTERM: exit $rc"; show_log "$work/saver.log"; end_stray "$saver_pid"; }
      now="$(xrandr | awk '/^DUMMY[0-2] connected/{print $1 " " ($3 == "primary" ? $4 : $3)}' | tr '\n' ' ')"
      [ "$now" = "$desktop" ] && pass "SIGTERM: the desktop's modes are back after the saver ($now)" || fail "SIGTERM: after the saver '$now', not '$desktop'"
      left="$(ls -a "$TESSALOOM_REGISTRY_DIR" | grep -F '.tmp-')"
      [ -z "$left" ] && pass "SIGTERM: no half-written settings file is left" || fail "SIGTERM: left $left"
    else
      fail "SIGTERM: the saver did not draw in 800x600"; show_log "$work/saver.log"; end_stray "$saver_pid"
    fi
    rm -f "$reg"
  fi
fi

if [ $failures -ne 0 ]; then
  echo "x11 checks: $failures failed"
  exit 1
fi
echo "x11 checks passed"
