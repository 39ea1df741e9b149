#!/usr/bin/env bash
# Runs the desktop test program on a virtual X display (Xvfb), the way the CTest tests
# desktop_with_tray and desktop_without_tray do.
#   scripts/lib/desktop-tests.sh tray PROGRAM [ARGS...]   with a notification-area host (trayer)
#   scripts/lib/desktop-tests.sh none PROGRAM [ARGS...]   without one: balloons go to the console
# KELMORA_SCREENSHOTS=DIR, when the caller sets it, is where the program saves its pictures of the
# windows (scripts/screenshots); the CTest tests leave it unset.
set -euo pipefail

mode="${1:?tray or none}"
program="${2:?the desktop test program}"
shift 2

case "$mode" in
  tray) export KELMORA_XVFB_TRAY=1 ;;
  none) export KELMORA_XVFB_TRAY=none ;;
  *) echo "desktop-tests: unknown mode '$mode'" >&2; exit 2 ;;
esac
export QT_QPA_PLATFORM=xcb
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
fi
chmod 0700 "$XDG_RUNTIME_DIR"

# A sanitizer build: D-Bus, which Qt's desktop integration loads, keeps a buffer to the end on
# purpose; that is not ours to report.
suppressions="$(mktemp)"
trap 'rm -f "$suppressions"' EXIT
echo 'leak:libdbus-1.so' >"$suppressions"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$suppressions"

# Inside the display: the host first (its output and input detached, so it holds no pipe of
# ours), then the program; the host goes with the display.
inner='
set -u
if [ "$KELMORA_XVFB_TRAY" = 1 ]; then
  trayer --edge top --align right --widthtype request --height 24 </dev/null >/dev/null 2>&1 &
  host=$!
  trap "kill $host 2>/dev/null; wait $host 2>/dev/null" EXIT
fi
"$@"
'
xvfb-run -a -s '-screen 0 1024x768x24' bash -c "$inner" desktop-tests "$program" "$@"
