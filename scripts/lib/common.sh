# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the commands in scripts/: the project root, and installing the Debian packages the project needs.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# What the client needs beside Qt's libraries: Qt's own texts in Swedish, and a font with the silence flag's glyph.
run_packages=(qt6-translations-l10n fonts-noto-color-emoji)

# What building, packaging and testing need: compiler, CMake, Ninja, Qt with Charts and HttpServer, simdjson (it
# reads the large tree payloads), the Debian packaging tools, the validators of the desktop entry and the AppStream
# metadata, openssl, which makes the certificates of the HTTPS tests and of the HTTPS demo, dbus, whose private
# session bus the notification tests start, python3, git and ccache for the mutation run (scripts/mutants), and an X
# server, the accessibility bus and its Python bindings for the walk a screen reader makes (tests/a11y_test.sh).
build_packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-httpserver-dev
    qt6-websockets-dev libgl-dev libsimdjson-dev dpkg-dev appstream desktop-file-utils openssl dbus python3 git ccache
    xvfb xauth at-spi2-core python3-pyatspi
    "${run_packages[@]}")

# Installs those of the given packages that are missing. Uses sudo when not root; without apt it names them and stops.
ensure_packages() {
    local missing=()
    if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
        echo "This system has no apt. Install these packages (or their equivalents) and run again:" >&2
        echo "  $*" >&2
        exit 1
    fi
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds one build folder; extra arguments go to CMake.
build_in() {
    local dir="$1"
    shift
    cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
    cmake --build "$root/$dir"
}
