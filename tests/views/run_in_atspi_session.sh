#!/bin/sh
# Runs a test program the way a desktop with a screen reader runs a program: on its own X
# display (Xvfb), with its own session bus, and with the accessibility bus already up, as a
# desktop session starts it (Qt's bridge looks for that bus; it does not start it).
# Without xvfb-run or dbus-run-session the program runs bare and its tests skip, saying why.
set -u
if command -v xvfb-run >/dev/null 2>&1 && command -v dbus-run-session >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- sh -c '
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      >/dev/null 2>&1 || echo "run_in_atspi_session: the accessibility bus did not start" >&2
    exec "$@"' sh "$@"
fi
echo "run_in_atspi_session: xvfb-run or dbus-run-session is missing" >&2
exec "$@"
