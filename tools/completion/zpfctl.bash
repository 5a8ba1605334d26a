# bash completion for zpfctl: command words, and the names of groups, categories and
# keys of the program directory (asked of zpfctl itself, so --dir is honoured).

_zpfctl_names()
{
    local dir=() i
    for ((i = 1; i < ${#COMP_WORDS[@]} - 1; i++)); do
        [[ ${COMP_WORDS[i]} == --dir ]] && dir=(--dir "${COMP_WORDS[i + 1]}")
    done
    "${COMP_WORDS[0]}" "${dir[@]}" complete "$1" 2>/dev/null
}

_zpfctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local words=() i
    # The words after the program name, without "--dir DIR".
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == --dir ]]; then
            ((i++))
            continue
        fi
        words+=("${COMP_WORDS[i]}")
    done
    local IFS=$'\n'
    case $prev in
    --dir)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --group)
        COMPREPLY=($(compgen -W "$(_zpfctl_names groups)" -- "$cur"))
        return
        ;;
    --auth)
        COMPREPLY=($(compgen -W $'none\nfull\nhalf' -- "$cur"))
        return
        ;;
    esac
    if ((${#words[@]} == 0)); then
        COMPREPLY=($(compgen -W $'set\nget\ncategory\nlist\ngroup\nschedule\naccount\nip\nconfig\nlists\ncategories\ncheck-ip\nlookup\nscan\nkeys\npassword\nkeeper\nlog\ncipher\nupdate\nlast-update\npublish\nbrowser-proxy\ncomplete\n--dir\n--help\n--version' -- "$cur"))
        return
    fi
    local command=${words[0]} n=${#words[@]}
    case $command in
    set | get)
        ((n == 1)) && COMPREPLY=($(compgen -W "$(_zpfctl_names keys)" -- "$cur"))
        ((n >= 2)) && COMPREPLY=($(compgen -W $'--group\n--restart' -- "$cur"))
        ;;
    category)
        if ((n == 1)); then
            COMPREPLY=($(compgen -W $'on\noff\nstatus' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$(_zpfctl_names categories)"$'\n--group\n--restart' -- "$cur"))
        fi
        ;;
    list)
        ((n == 1)) && COMPREPLY=($(compgen -W $'add\nremove\nshow' -- "$cur"))
        ((n == 2)) && COMPREPLY=($(compgen -W $'phrase\nnofilter\npassurl' -- "$cur"))
        ((n >= 3)) && COMPREPLY=($(compgen -W $'--group\n--restart' -- "$cur"))
        ;;
    group)
        ((n == 1)) && COMPREPLY=($(compgen -W $'add\nrename\ndelete\nshow' -- "$cur"))
        [[ $n == 2 && ${words[1]} == @(rename|delete) ]] && COMPREPLY=($(compgen -W "$(_zpfctl_names groups)" -- "$cur"))
        ;;
    schedule)
        ((n == 1)) && COMPREPLY=($(compgen -W $'set\nclear\n--at\n--group' -- "$cur"))
        ((n >= 2)) && COMPREPLY=($(compgen -W $'--group\n--restart' -- "$cur"))
        ;;
    account)
        ((n == 1)) && COMPREPLY=($(compgen -W $'add\nremove\nshow' -- "$cur"))
        ((n >= 3)) && COMPREPLY=($(compgen -W $'--group\n--nofilter\n--restart' -- "$cur"))
        ;;
    ip)
        ((n == 1)) && COMPREPLY=($(compgen -W $'restrict\npolicy' -- "$cur"))
        ((n == 2)) && COMPREPLY=($(compgen -W $'add\nremove\nshow' -- "$cur"))
        ((n >= 3)) && COMPREPLY=($(compgen -W $'--exempt\n--group\n--auth\n--restart' -- "$cur"))
        ;;
    complete)
        ((n == 1)) && COMPREPLY=($(compgen -W $'groups\ncategories\nkeys' -- "$cur"))
        ;;
    esac
}
complete -F _zpfctl zpfctl
