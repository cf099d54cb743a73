#!/usr/bin/env bash
# Starts the real program in a real X window under Xvfb: waits for the main dialog,
# checks that the window names the desktop entry's class and carries the icon,
# photographs it, closes it with Cancel and expects exit code 0. Then starts it with no
# display at all and expects the clear message and exit code 82, not a toolkit abort.
#   XvfbSmokeTest.sh <halvex> <halvex-grab-window> [<desktop entry>]
# HALVEX_SCREENSHOTS, when set, names a folder that receives a copy of the picture (with
# "-200" in its name under QT_SCALE_FACTOR=2); HALVEX_XVFB_SCREEN sets the screen
# (1280x1024x24 unless given).
set -euo pipefail
halvex=$1
grab=$2
entry=${3:-}
scratch=${HALVEX_TEST_TMP:?run through run-isolated.sh}

fail() { echo "FAIL: $*" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 "${HALVEX_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb=$!
halvex_pid=
cleanup() {
  [ -n "$halvex_pid" ] && kill "$halvex_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
# Each wait below lasts until its condition holds or the process it waits on is gone,
# however loaded the machine is.
until [ -s "$scratch/display" ]; do
  kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
  sleep 0.1
done
export DISPLAY=":$(cat "$scratch/display")"
export QT_QPA_PLATFORM=xcb
# The dialog keeps the user's choices: here in the test's own folder.
export XDG_CONFIG_HOME="$scratch/config"

"$halvex" >"$scratch/stdout" 2>"$scratch/stderr" &
halvex_pid=$!
window=
until [ -n "$window" ]; do
  kill -0 "$halvex_pid" 2>/dev/null || fail "no main dialog appeared; stderr: $(cat "$scratch/stderr")"
  window=$(xdotool search --onlyvisible --name '^Veskor Zastrel$' 2>/dev/null | head -n 1) || true
  [ -n "$window" ] || sleep 0.1
done
if [ -n "$entry" ]; then
  class=$(sed -n 's/^StartupWMClass=//p' "$entry")
  xprop -id "$window" WM_CLASS | grep -q "\"$class\"\$" || fail "window class is not $class: $(xprop -id "$window" WM_CLASS)"
  # The toolkit may set the icon property just after the window appears: wait for it while
  # the program runs (a minute at most, far beyond any load, so a missing icon still fails).
  tries=600
  until xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -q 'Icon ('; do
    tries=$((tries - 1))
    { [ "$tries" -gt 0 ] && kill -0 "$halvex_pid" 2>/dev/null; } || fail "the window carries no icon"
    sleep 0.1
  done
fi
sleep 0.5  # let the first paint land
"$grab" "$window" "$scratch/main-dialog-xvfb.png" >/dev/null || fail "could not photograph the dialog"
[ -s "$scratch/main-dialog-xvfb.png" ] || fail "empty picture"
if [ -n "${HALVEX_SCREENSHOTS:-}" ]; then
  mkdir -p "$HALVEX_SCREENSHOTS"
  suffix=
  [ "${QT_SCALE_FACTOR:-1}" = 2 ] && suffix=-200
  cp "$scratch/main-dialog-xvfb.png" "$HALVEX_SCREENSHOTS/main-dialog-xvfb$suffix.png"
fi

# A click or key that lands before the window takes input is lost: repeat it until the
# program ends.
end_dialog() {
  if [ "${QT_SCALE_FACTOR:-1}" = 1 ]; then
    # The Cancel button's centre, from its place in the 488 x 335 unit template.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    x=$(( (362 * 2 + 57) * WIDTH / (488 * 2) ))
    y=$(( (311 * 2 + 16) * HEIGHT / (335 * 2) ))
    xdotool mousemove --window "$window" "$x" "$y" click 1
  else
    # Scaled, the dialog may scroll and the button move: Esc ends it the same way.
    xdotool windowfocus --sync "$window" key Escape
  fi
}
while kill -0 "$halvex_pid" 2>/dev/null && [ -z "$(ps -o stat= -p "$halvex_pid" | grep Z)" ]; do
  end_dialog 2>/dev/null || true
  sleep 0.2
done
rc=0
wait "$halvex_pid" || rc=$?
halvex_pid=
[ "$rc" -eq 0 ] || fail "exit code $rc after Cancel; stderr: $(cat "$scratch/stderr")"

# No display at all: a clear message and 82.
rc=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$halvex" >"$scratch/stdout" 2>"$scratch/stderr" || rc=$?
[ "$rc" -eq 82 ] || fail "exit code $rc without a display"
grep -qi 'display' "$scratch/stderr" || fail "no message without a display: $(cat "$scratch/stderr")"
