# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for m5ctl                                  -*- shell-script -*-

# What --port can name now, in this order: auto, the ports m5ctl finds, the
# stable names udev gives them, then files (a pseudo-terminal, the link of
# m5sim --link). Files only once a word is begun: a bare TAB lists ports,
# not the working folder.
_m5ctl_porte()
{
    local cur=$1 m5ctl p
    local porte=(auto)
    # A stuck port must not hang the shell: the installed m5ctl, bounded.
    if m5ctl=$(type -P m5ctl); then
        while IFS=$'\t' read -r _ p _; do
            if [[ $p == /* ]]; then
                porte+=("$p")
            fi
        done < <(timeout 2 "$m5ctl" ports </dev/null 2>/dev/null)
    fi
    for p in /dev/serial/by-id/* /dev/serial/by-path/*; do
        if [[ -e $p ]]; then
            porte+=("$p")
        fi
    done
    if [[ -n $cur ]]; then
        mapfile -t -O ${#porte[@]} porte < <(compgen -f -- "$cur")
        compopt -o filenames 2>/dev/null || true
    fi

    local -A visti=()
    COMPREPLY=()
    for p in "${porte[@]}"; do
        if [[ $p == "$cur"* && -z ${visti[$p]:-} ]]; then
            visti[$p]=1
            COMPREPLY+=("$p")
        fi
    done
}

_m5ctl()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    case $prev in
        --port)
            _m5ctl_porte "$cur"
            return ;;
        --com)
            COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur"))
            return ;;
        --toni)
            COMPREPLY=($(compgen -W "alti bassi" -- "$cur"))
            return ;;
        --uscite)
            COMPREPLY=($(compgen -W "mem imp" -- "$cur"))
            return ;;
        --trasmettitori)
            COMPREPLY=($(compgen -W "strip bidi" -- "$cur"))
            return ;;
        --from | -o | --output | --log | --trace | --codici-da | --etichette)
            COMPREPLY=($(compgen -f -- "$cur"))
            compopt -o filenames 2>/dev/null || true
            return ;;
        --wait | --codice | --frequenza | --rele | --impulsi | --repeat | --swap-silence | \
            --codici | --archivio | --etichette-misura)
            return ;;
    esac

    local comando="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            read | program | init | verify | ports | report)
                comando=${words[i]}
                break ;;
        esac
    done

    local porta="--port --com --wait --trace --log"
    local corsa="--repeat --swap-silence --archivio"
    local parole
    case $comando in
        "") parole="read program init verify ports report"
            [[ $cur == -* ]] && parole="--help --version $porta" ;;
        read) parole="-o --output $porta" ;;
        program) parole="--from --codice --codici --codici-da --etichette --etichette-misura --frequenza --rele --impulsi --toni --uscite --trasmettitori $corsa $porta" ;;
        init) parole="uhf vhf"
            [[ $cur == -* ]] && parole="--change-band $corsa $porta" ;;
        verify) parole="--from $corsa $porta" ;;
        ports) parole="--json" ;;
        report)
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
                compopt -o filenames 2>/dev/null || true
                return
            fi
            # A log, or the archive: not both.
            parole="--csv --archivio"
            for ((j = i + 1; j < cword; j++)); do
                [[ ${words[j]} != -* && ${words[j-1]} != --archivio ]] && parole="--csv"
            done ;;
    esac
    COMPREPLY=($(compgen -W "$parole" -- "$cur"))
}
complete -F _m5ctl m5ctl
