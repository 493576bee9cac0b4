#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every option that a program's --help offers is documented in its manual
# page; and the page as man shows it at 80 columns breaks no word with a
# hyphen and keeps every line of a literal block as written.
# Usage: opzioni_manuale.sh PROGRAM PAGE.scd PAGE.1 [PROGRAM PAGE.scd PAGE.1]...
set -euo pipefail
mancanti=0

# Lines of the rendered page, without their indent.
resa() {
    groff -man -Tutf8 -rLL=80n -P-cbou "$1" | sed 's/^ *//'
}

# Lines of the page's ``` blocks, scdoc's escapes undone, without their indent.
letterali() {
    awk '/^```/ { dentro = !dentro; next } dentro' "$1" | sed 's/\\\(.\)/\1/g; s/^ *//' | grep -v '^$'
}

controlla_resa() {
    local pagina=$1 roff=$2 testo
    testo=$(resa "$roff")
    # groff marks a break it hyphenated with U+2010, never a hyphen of the text.
    if grep -n '‐$' <<<"$testo" >&2; then
        echo "$(basename "$roff"): words broken with a hyphen at 80 columns"
        mancanti=1
    fi
    while IFS= read -r riga; do
        if ! grep -qxF -- "$riga" <<<"$testo"; then
            echo "$(basename "$roff"): literal line not shown as written at 80 columns: $riga"
            mancanti=1
        fi
    done < <(letterali "$pagina")
}

while [ $# -ge 3 ]; do
    programma=$1 pagina=$2 roff=$3
    shift 3
    controlla_resa "$pagina" "$roff"
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
