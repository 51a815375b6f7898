#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, installed into a temporary root: its files, its dependencies, the validity of its desktop
# entry and AppStream metadata, and the installed client started through the link on the PATH, against norv-sim,
# long enough to see it poll and to read the version it reports (from the VERSION file beside the real program).
set -euo pipefail
build="$1"
version="$2"
work=$(mktemp -d -t norv-install-test.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # The client quits in order on the signal and still writes its settings: the folder goes after it.
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/norv-gui_"$version"_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6charts6 libsimdjson qt6-translations-l10n; do
    grep -q "$package" <<<"$depends" || fail "no dependency on $package"
done
dpkg-deb -f "$deb" Recommends | grep -q fonts-noto-color-emoji || fail "fonts-noto-color-emoji is not recommended"

root="$work/root"
dpkg-deb -x "$deb" "$root"
link="$root/usr/bin/norv-gui"
[ -L "$link" ] || fail "/usr/bin/norv-gui is not a link"
real=$(readlink -f "$link")
[ -x "$real" ] || fail "the link leads nowhere: $(readlink "$link")"
case "$real" in "$root"/usr/lib/*norv-gui/norv-gui) ;; *) fail "unexpected place $real" ;; esac
[ "$(cat "$(dirname "$real")/VERSION")" = "$version" ] || fail "VERSION beside the program is not $version"
for file in usr/share/applications/se.trelvik.norvgui.desktop usr/share/metainfo/se.trelvik.norvgui.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/se.trelvik.norvgui.svg usr/share/icons/hicolor/48x48/apps/se.trelvik.norvgui.png \
    usr/share/icons/hicolor/256x256/apps/se.trelvik.norvgui.png usr/share/doc/norv-gui/copyright; do
    [ -s "$root/$file" ] || fail "missing $file"
done
desktop-file-validate "$root/usr/share/applications/se.trelvik.norvgui.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/se.trelvik.norvgui.metainfo.xml" || fail "appstreamcli"

# The installed client, started through the link, polls the simulator and says which version it is.
"$build/tools/sim/norv-sim" --port 0 --log "$work/requests.log" >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'http://' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
url=$(grep -o 'http://[^ ]*' "$work/sim.out" | head -n 1)
export XDG_CONFIG_HOME="$work/config"
"$build/tools/demo/norv-demo-login" "$url" viewer viewer >/dev/null
QT_QPA_PLATFORM=offscreen USER="norv-install-test-$$" "$link" >"$work/gui.out" 2>&1 &
gui=$!
pids+=($gui)
for _ in $(seq 200); do grep -q 'GET /api/tree/status 200' "$work/requests.log" 2>/dev/null && break; sleep 0.1; done
kill -0 "$gui" 2>/dev/null || { cat "$work/gui.out"; fail "the installed client did not keep running"; }
grep -q "GET /api/tree/status 200 norv-gui/$version\$" "$work/requests.log" ||
    { cat "$work/requests.log"; fail "the installed client did not poll as version $version"; }
echo "PASS: $(basename "$deb") installs, validates, and its client runs as version $version"
