#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of m5ctl: what it offers after a few typical words.
# Usage: completamento.sh m5ctl.bash M5CTL
set -euo pipefail
. "$1"
m5ctl=$2

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

prova "read program init verify ports report" m5ctl ""
prova "--from --frequenza" m5ctl program --f
prova "alti bassi" m5ctl program --toni ""
prova "mem imp" m5ctl --port x program --uscite ""
prova "strip bidi" m5ctl program --trasmettitori ""
prova "uhf vhf" m5ctl init ""
prova "--change-band" m5ctl init vhf --ch
prova "--json" m5ctl ports --
prova "--csv" m5ctl report x --
prova "--csv --archivio" m5ctl report --
prova "auto" m5ctl --port au
prova "1 2 3 4 5 6 7 8" m5ctl --com ""
cartella=$(mktemp -d)
trap 'rm -rf "$cartella"' EXIT
touch "$cartella/golden.json"
prova "$cartella/golden.json" m5ctl verify --from "$cartella/gol"
prova "$cartella/golden.json" m5ctl read -o "$cartella/g"
prova "$cartella/golden.json" m5ctl report "$cartella/g"

# --port offers what exists, never a pattern: the ports of the m5ctl on PATH
# first, then udev's names, then files such as a pty or m5sim's link.
mkdir "$cartella/bin"
ln -s "$m5ctl" "$cartella/bin/m5ctl"
PATH_ORIGINALE=$PATH
PATH=$cartella/bin:$PATH
attese=(auto)
while IFS=$'\t' read -r _ p _; do
    attese+=("$p")
done < <("$m5ctl" ports)
for p in /dev/serial/by-id/* /dev/serial/by-path/*; do
    if [ -e "$p" ]; then
        attese+=("$p")
    fi
done
prova "${attese[*]}" m5ctl --port ""
prova "/dev/pts/ptmx" m5ctl read --port /dev/pts/pt
ln -s /dev/null "$cartella/m5"
prova "$cartella/m5" m5ctl --port "$cartella/m"
# An m5ctl that hangs costs a short wait, not the shell.
rm "$cartella/bin/m5ctl"
printf '#!/bin/sh\nexec sleep 60\n' >"$cartella/bin/m5ctl"
chmod +x "$cartella/bin/m5ctl"
prova "auto" m5ctl --port a
PATH=$PATH_ORIGINALE
echo "completion ok"
