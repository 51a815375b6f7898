#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/demo, headless: the simulator starts, the demo logs in to it, the client connects and polls the tree with
# its token, and when the client ends the demo stops the simulator.
set -euo pipefail
build="$1"
root="$2"
work=$(mktemp -d -t norv-demo-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
# What an earlier demo in the same folder left behind: a simulator that is long gone.
mkdir -p "$work/config/Trelvik"
printf '[servers]\n1\\id=0000000000ee\n1\\url=http://127.0.0.1:9\n1\\autoconnect=true\nsize=1\n' \
    >"$work/config/Trelvik/NorvGUI.ini"

# A copy of its own: a demo or client already running on this machine is neither woken nor in the way.
NORV_BUILD_DIR="$build" NORV_DEMO_DIR="$work" NORV_DEMO_USER="norv-demo-test-$$" QT_QPA_PLATFORM=offscreen \
    "$root/scripts/demo" >"$work/demo.out" 2>&1 &
demo=$!

fail() {
    echo "FAIL: $*"; tail -n +1 "$work/demo.out" "$work/requests.log" || true # both, each under its name
    kill "$demo" 2>/dev/null || true; exit 1
}

for _ in $(seq 600); do grep -q ' GET /api/tree/status 200 ' "$work/requests.log" 2>/dev/null && break; sleep 0.1; done
# The demo's login, then the client's identity, status and tree.
for request in 'POST /api/auth/login' 'GET /api/auth/me' 'GET /api/status' 'GET /api/tree/status'; do
    grep -q " $request 200 " "$work/requests.log" || fail "no answered $request"
done
grep -q ' 401 ' "$work/requests.log" && fail "a request was refused"

version=$(cat "$build/src/VERSION")
grep -q "version $version)" "$work/demo.out" || fail "the simulator does not report the client's version $version"
ini="$work/config/Trelvik/NorvGUI.ini"
[ "$(grep -c 'url=' "$ini")" = 1 ] && ! grep -q '127.0.0.1:9$' "$ini" || fail "servers of an earlier demo came back"

gui=$(cat "$work/norv-gui.pid")
sim=$(cat "$work/norv-sim.pid")
kill -0 "$sim" || fail "the simulator is not running"
kill "$gui" # the user quits the client
wait "$demo" || fail "the demo ended with an error"
for _ in $(seq 50); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
kill -0 "$sim" 2>/dev/null && fail "the simulator still runs after the client ended"
grep -q 'The client has ended' "$work/demo.out" || fail "the demo did not notice the client ending"
echo "PASS: the demo connected the client to the simulator and stopped it afterwards"
