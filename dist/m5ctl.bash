# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for m5ctl                                  -*- shell-script -*-

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
            local porte=(/dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/serial/by-id/*)
            COMPREPLY=($(compgen -W "auto ${porte[*]}" -- "$cur"))
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
        --from | -o | --output | --log | --trace)
            COMPREPLY=($(compgen -f -- "$cur"))
            compopt -o filenames 2>/dev/null || true
            return ;;
        --wait | --codice | --frequenza | --rele | --impulsi | --repeat | --swap-silence)
            return ;;
    esac

    local comando="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            read | program | init | verify | ports)
                comando=${words[i]}
                break ;;
        esac
    done

    local porta="--port --com --wait --trace --log"
    local corsa="--repeat --swap-silence"
    local parole
    case $comando in
        "") parole="read program init verify ports"
            [[ $cur == -* ]] && parole="--help --version $porta" ;;
        read) parole="-o --output $porta" ;;
        program) parole="--from --codice --frequenza --rele --impulsi --toni --uscite --trasmettitori $corsa $porta" ;;
        init) parole="uhf vhf"
            [[ $cur == -* ]] && parole="--change-band $corsa $porta" ;;
        verify) parole="--from $corsa $porta" ;;
        ports) parole="--json" ;;
    esac
    COMPREPLY=($(compgen -W "$parole" -- "$cur"))
}
complete -F _m5ctl m5ctl
