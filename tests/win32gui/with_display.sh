#!/usr/bin/env bash
# Runs a window test on the display it was given, or in a virtual X server of its
# own when there is none (a window without a display hangs under Wine).
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a "$@"
