# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the other scripts: makes sure the Debian packages are there.
# Usage: richiedi_pacchetti pkg...
richiedi_pacchetti() {
    local mancanti=()
    for p in "$@"; do
        [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || mancanti+=("$p")
    done
    [ ${#mancanti[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${mancanti[*]}" >&2
        exit 1
    fi
    echo "Installing: ${mancanti[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >&2 || true
    # Recommends would bring systemd, Vulkan drivers and the like: only what is needed.
    apt-get install -y -qq --no-install-recommends "${mancanti[@]}" >&2
}

# qt6-tools-dev holds Qt's CMake files for lupdate and lrelease, qt6-l10n-tools
# the programs; libudev-dev and pkg-config: the station's device watcher;
# libpq-dev: the shared archive's client; libqt6sql6-sqlite: the local store
# of code plans.
PACCHETTI_BUILD=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
                 qt6-tools-dev qt6-l10n-tools libudev-dev pkg-config libgl-dev scdoc
                 libpq-dev libqt6sql6-sqlite)
