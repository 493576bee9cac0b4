#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every option that a program's --help offers is documented in its manual page.
# Usage: opzioni_manuale.sh PROGRAM PAGE.scd [PROGRAM PAGE.scd]...
set -euo pipefail
mancanti=0
while [ $# -ge 2 ]; do
    programma=$1 pagina=$2
    shift 2
    aiuto=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$programma" --help)
    testo=$(cat "$pagina")
    opzioni=$(grep -oE '(^|[ ,])--?[a-zA-Z][a-zA-Z-]*' <<<"$aiuto" | sed 's/^[ ,]*//' | sort -u)
    for o in $opzioni; do
        if ! grep -qE "\\*${o}\\*" <<<"$testo"; then
            echo "$(basename "$pagina"): $o of $(basename "$programma") --help is not documented"
            mancanti=1
        fi
    done
done
exit $mancanti
