# bash completion for tolvane: its commands and options, and for its file
# arguments folders and the files of the kind each one takes, disc images
# (.bin, .iso, .cue) or pictures (.bmp, .png), matched without regard to case. Needs nothing
# but bash; installed as share/bash-completion/completions/tolvane.

# The word as the command will receive it: quotes and backslashes removed.
_tolvane_unquote() {
    local word=$1 i
    REPLY=
    case $word in
        \'*) word=${word#\'} REPLY=${word%\'}; return ;;
        \"*) word=${word#\"} word=${word%\"} ;;
    esac
    for ((i = 0; i < ${#word}; i++)); do
        [[ ${word:i:1} == \\ ]] && ((++i))
        REPLY+=${word:i:1}
    done
}

# Folders and the files with one of the given extensions (lower case) that
# complete the current word.
_tolvane_files() {
    local word file extension
    local -A folders=()
    _tolvane_unquote "$1"
    word=$REPLY
    shift
    compopt -o filenames 2>/dev/null
    while IFS= read -r file; do
        folders[$file]=1
        COMPREPLY+=("$file")
    done < <(compgen -d -- "$word")
    while IFS= read -r file; do
        [[ ${folders[$file]-} ]] && continue
        for extension; do
            if [[ ${file,,} == *."$extension" ]]; then
                COMPREPLY+=("$file")
                break
            fi
        done
    done < <(compgen -f -- "$word")
}

_tolvane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '-h --help --version' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W 'export import info restore' -- "$cur")
        fi
        return
    fi

    local command=${COMP_WORDS[1]} options
    case $command in
        export) options='--force --console --key --pal --ntsc --help' ;;
        import) options='--dry-run --force --console --key --pal --ntsc --help' ;;
        info) options='--json --help' ;;
        restore) options='--list --help' ;;
        *) return ;;
    esac
    # A key is typed, not completed: --key K, --key=K (bash splits at "=").
    [[ $prev == --key || $cur == --key=* ]] && return
    [[ $prev == = && ${COMP_WORDS[COMP_CWORD - 2]} == --key ]] && return

    # Count the arguments before the current word, skipping options and keys.
    local i word arguments=0 ended=
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $ended ]]; then
            ((++arguments))
        elif [[ $word == -- ]]; then
            ended=1
        elif [[ $word == --key ]]; then
            ((i++))
            [[ ${COMP_WORDS[i]} == = ]] && ((i++))
        elif [[ $word != -?* ]]; then
            ((++arguments))
        fi
    done

    if [[ ! $ended && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif ((arguments == 0)); then
        _tolvane_files "$cur" bin iso cue
    elif ((arguments == 1)) && [[ $command == export || $command == import ]]; then
        _tolvane_files "$cur" bmp png
    fi
}

complete -F _tolvane tolvane
