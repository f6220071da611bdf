# bash completion for veltool and its invocation names (VELDIR, veldir, ...), parmdump and
# velmount. The commands, option letters and mode letters come from the program's own
# --help; the names of the files inside an image from a names-only listing of the image.

# Sets COMPREPLY from lines "WORD  meaning" whose word starts with $1: the words with their
# meaning while there is a choice to show, the bare word once one is left.
_veltool_choose() {
    local cur=$1 line
    COMPREPLY=()
    while IFS= read -r line; do
        [[ ${line%%[[ ]*} == "$cur"* ]] && COMPREPLY+=("$line")
    done
    ((${#COMPREPLY[@]} == 1)) && COMPREPLY=("${COMPREPLY[0]%%[[ ]*}")
    return 0
}

# The lines of the section of `program -i command --help` under heading $3, indent taken off.
_veltool_help() {
    "$1" -i "$2" --help 2>/dev/null | sed -n "/^$3/,/^\$/s/^  \\([^ ].*\\)/\\1/p"
}

_veltool_host_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

# The files of the image, names only; a damaged or locked image gives up quietly.
_veltool_image_files() {
    local program=$1 image=$2 cur=$3 name
    image=${image//[\'\"]/}
    [[ $image == \~/* ]] && image=$HOME/${image:2}
    [[ -f $image ]] || return 0
    while IFS= read -r name; do
        name=${name// /}
        [[ $name == [!*]* && ${name^^} == "${cur^^}"* ]] && COMPREPLY+=("$name")
    done < <(timeout 2 "$program" -i dir -d "$image" -o N 2>/dev/null | head -n 8000)
}

_veltool() {
    local program=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]}
    local base=${program##*/} command=dir image= pending= ended= word rest c i
    [[ $program == \~/* ]] && program=$HOME/${program:2}
    [[ ${base,,} == vel* ]] && command=${base:3:3}
    # The options as getopt takes them: grouped letters, the last one's argument attached
    # or in the next word; -h and -t take only an attached one.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $pending ]]; then
            [[ $pending == d ]] && image=$word
            [[ $pending == i ]] && command=$word
            pending=
            continue
        fi
        [[ -n $ended || $word != -?* || $word == -- ]] && { ended=1; continue; }
        rest=${word#-}
        while [[ -n $rest ]]; do
            c=${rest:0:1} rest=${rest:1}
            [[ $c == [ht] ]] && break
            [[ $c == [abcdefgilnorsu] ]] || continue
            [[ -z $rest ]] && pending=$c
            [[ $c == d ]] && image=$rest
            [[ $c == i ]] && command=$rest
            break
        done
    done
    COMPREPLY=()
    case $pending in
    d | f) _veltool_host_files "$cur" ;;
    i) _veltool_choose "$cur" < <(_veltool_help "$program" - Commands:) ;;
    o)
        # A letter more for each one not yet given; a listing mask is one preset.
        case ${command,,} in dir* | sdi* | ddi*) [[ -n $cur ]] && return 0 ;; esac
        _veltool_choose "$cur" < <(_veltool_help "$program" "$command" 'Letters of -o:' |
            while IFS= read -r line; do
                [[ $line == [A-Z]\ * && ${cur^^} != *${line:0:1}* ]] && echo "$cur$line"
            done)
        ;;
    '')
        if [[ -z $ended && $cur == -* ]]; then
            _veltool_choose "$cur" < <(_veltool_help "$program" "$command" Options:)
            return 0
        fi
        case ${command,,} in
        wri*) _veltool_host_files "$cur" ;;
        dir* | sdi* | ddi* | rea* | del* | ren* | cop* | lis* | sum* | oct* | rev* | res*)
            _veltool_image_files "$program" "$image" "$cur" ;;
        esac
        ;;
    esac
    return 0
}

_veltool_parmdump() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
    else
        _veltool_host_files "$cur"
    fi
}

_veltool_velmount() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} i words=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -o ]] && ((i++)) && continue
        [[ ${COMP_WORDS[i]} != -* ]] && ((words++))
    done
    if [[ $prev == -o ]]; then
        COMPREPLY=($(compgen -W "form=B form=D form=A form=P force" -- "$cur"))
    elif [[ $cur == -* ]]; then
        _veltool_choose "$cur" < <("${COMP_WORDS[0]}" --help 2>/dev/null |
            sed -n '/^Options:/,/^$/s/^  \([^ ].*\)/\1/p')
    elif ((words == 0)); then
        _veltool_host_files "$cur"
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    fi
}

complete -F _veltool veltool
complete -F _veltool_parmdump parmdump
complete -F _veltool_velmount velmount
for _veltool_name in NEW DIR DEL REN COP REA WRI SCR SCW PTR PTW DCR DCW OLD DRE PAC DDI REV RES SDI LIS FIX SUM OCT; do
    complete -F _veltool "VEL$_veltool_name" "vel${_veltool_name,,}"
done
unset _veltool_name
