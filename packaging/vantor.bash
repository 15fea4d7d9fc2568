# bash completion for vantor: commands, their options and the values some
# options take, and file names filtered to plugins and masters. The commands
# and options are read from vantor's own help, so they never go out of date.

_vantor_help() {
    # The help of a command (or of the program), once per shell.
    local key="_vantor_help_${1//-/_}"
    if [[ -z ${!key+set} ]]; then
        printf -v "$key" '%s' "$(LC_ALL=C "$2" ${1:+"$1"} --help 2>/dev/null)"
    fi
    printf '%s\n' "${!key}"
}

_vantor_plugins() {
    # Folders to walk into, and the game's files whatever the case of their ending.
    local f
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$cur"))
    for f in $(compgen -f -- "$cur"); do
        [[ -f $f ]] || continue
        case "${f,,}" in
            *.esp | *.esm | *.omwaddon | *.omwgame) COMPREPLY+=("$f") ;;
        esac
    done
}

_vantor() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} cword=$COMP_CWORD
    local words=("${COMP_WORDS[@]}") program=${COMP_WORDS[0]} command="" i
    COMPREPLY=()
    # Names may hold blanks: words are one to a line.
    local IFS=$'\n'

    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$(_vantor_help "" "$program" | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z-]*\) .*/\1/p')"$'\n'"--help" -- "$cur"))
        return
    fi

    local help
    help=$(_vantor_help "$command" "$program")
    # An option that takes a value: "  --format TEXT:{text,csv,log,json}=text".
    local valueLine
    valueLine=$(printf '%s\n' "$help" | grep -E -- "^  (-[a-z],)?$prev (TEXT|INT|UINT|FLOAT|NUMBER)" | head -n 1)
    if [[ $prev == -* && -n $valueLine ]]; then
        case $prev in
            --data-dir | --install-dir) COMPREPLY=($(compgen -d -- "$cur")) ;;
            --single-versus | --file) _vantor_plugins ;;
            --openmw-config | --settings | --log | --output | -o | --backup-name) COMPREPLY=($(compgen -f -- "$cur")) ;;
            *)
                local choices=${valueLine#*:\{}
                if [[ $choices != "$valueLine" ]]; then
                    choices=${choices%%\}*}
                    COMPREPLY=($(compgen -W "${choices//,/$'\n'}" -- "$cur"))
                fi
                ;;
        esac
        return
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(printf '%s\n' "$help" | grep -oE -- '^  (-[a-z],)?--[a-z-]+' | sed 's/^  //; s/,/\n/')" -- "$cur"))
        return
    fi
    _vantor_plugins
}
complete -F _vantor vantor vantor.exe
