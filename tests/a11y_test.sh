#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The client as a screen reader (Orca) finds it: the demo on an X display of its own, with the accessibility bus on a
# private session bus; a walk over that bus (a11y_walk.py) finds the search field, the servers' trees and "Aktiva
# larm" by their names, and rows that read with their status.
set -euo pipefail
build="$1"
root="$2"
if [ -z "${NORV_A11Y_INSIDE:-}" ]; then
    export NORV_A11Y_INSIDE=1
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d -t norv-a11y-test.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately &
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
NORV_BUILD_DIR="$build" NORV_DEMO_DIR="$work" NORV_DEMO_USER="norv-a11y-test-$$" \
    "$root/scripts/demo" >"$work/demo.out" 2>&1 &
# Debian's own Python: the bindings of the accessibility bus are its package.
/usr/bin/python3 "$root/tests/a11y_walk.py" || { cat "$work/demo.out"; exit 1; }
