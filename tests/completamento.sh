#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of m5ctl: what it offers after a few typical words.
set -euo pipefail
. "$1"

prova() {
    local atteso=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _m5ctl
    local avuto="${COMPREPLY[*]}"
    if [ "$avuto" != "$atteso" ]; then
        echo "after '$*': expected '$atteso', got '$avuto'" >&2
        exit 1
    fi
}

prova "read program init verify ports" m5ctl ""
prova "--from --frequenza" m5ctl program --f
prova "alti bassi" m5ctl program --toni ""
prova "mem imp" m5ctl --port x program --uscite ""
prova "strip bidi" m5ctl program --trasmettitori ""
prova "uhf vhf" m5ctl init ""
prova "--change-band" m5ctl init vhf --ch
prova "--json" m5ctl ports --
prova "auto" m5ctl --port au
prova "1 2 3 4 5 6 7 8" m5ctl --com ""
cartella=$(mktemp -d)
trap 'rm -rf "$cartella"' EXIT
touch "$cartella/golden.json"
prova "$cartella/golden.json" m5ctl verify --from "$cartella/gol"
prova "$cartella/golden.json" m5ctl read -o "$cartella/g"
echo "completion ok"
