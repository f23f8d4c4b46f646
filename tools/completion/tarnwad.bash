# bash completion for tarnwad: commands, each command's options and their
# values, archives (*.wad) and directories where they belong.
#
# Installed as share/bash-completion/completions/tarnwad; from a checkout:
#     source tools/completion/tarnwad.bash

_tarnwad_commands="list unpack extract cat verify info pack conflicts diff add replace rm mv update compact mount umount help"

# The options of each command, as `tarnwad COMMAND --help` lists them.
_tarnwad_options() {
    case $1 in
        list) echo "-h --help --json -1 --names --hash -j --jobs --exclude --layer" ;;
        unpack)
            echo "-h --help -o -C --output --exclude --layer --dry-run -k --keep-old-files" \
                "--no-probe -v --verbose -q --quiet -j --jobs"
            ;;
        cat) echo "-h --help --layer" ;;
        verify) echo "-h --help --json --layer --against" ;;
        info) echo "-h --help --json" ;;
        pack)
            echo "-h --help -o --output --format-version --codec -f --force -L --dereference" \
                "--skip-special --exclude -v --verbose -q --quiet -j --jobs --base"
            ;;
        add | replace) echo "-h --help --as --codec --copy -q --quiet" ;;
        update) echo "-h --help --codec --copy -q --quiet" ;;
        rm | mv) echo "-h --help --copy -q --quiet" ;;
        compact) echo "-h --help -q --quiet" ;;
        conflicts) echo "-h --help --json --all" ;;
        diff) echo "-h --help --json" ;;
        mount) echo "-h --help -f --foreground --no-probe --cache-size" ;;
        umount) echo "-h --help" ;;
        help) echo "-h --help" ;;
    esac
}

# Options that take the next word as their value.
_tarnwad_takes_value() {
    case $1 in
        -o | -C | --output | --exclude | --layer | -j | --jobs | --format-version | --codec | \
            --cache-size | --against | --as | --base)
            return 0
            ;;
    esac
    return 1
}

# COMPREPLY: the words in $1 that start with $cur.
_tarnwad_words() {
    COMPREPLY=($(compgen -W "$1" -- "$cur"))
}

# COMPREPLY: the directories starting with $cur, and with $1 the files of
# that extension too (in any letter case).
_tarnwad_paths() {
    if declare -F _filedir >/dev/null; then
        if [[ -n $1 ]]; then
            _filedir "$1"
        else
            _filedir -d
        fi
        return
    fi
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY=($(compgen -d -- "$cur"))
    if [[ -n $1 ]]; then
        local pattern="" c
        for ((c = 0; c < ${#1}; c++)); do
            local letter=${1:c:1}
            pattern+="[${letter,}${letter^}]"
        done
        COMPREPLY+=($(compgen -f -X "!*.$pattern" -- "$cur"))
    fi
}

_tarnwad() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # The command is the first word that is not an option.
    local i command="" at=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            at=$i
            break
        fi
    done
    # "extract" is another name of "unpack".
    if [[ $command == extract ]]; then
        command=unpack
    fi
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            _tarnwad_words "-h --help -V --version"
        else
            _tarnwad_words "$_tarnwad_commands"
        fi
        return
    fi

    # "--output=DIR": bash splits the word at "=".
    local option=$prev
    if [[ $prev == "=" && $COMP_CWORD -ge 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == "=" ]]; then
        option=$prev
        cur=""
    fi
    if _tarnwad_takes_value "$option"; then
        case $command:$option in
            unpack:-o | unpack:-C | unpack:--output) _tarnwad_paths ;;
            pack:-o | pack:--output) _tarnwad_paths wad ;;
            pack:--format-version) _tarnwad_words "0 1 2" ;;
            pack:--codec) _tarnwad_words "stored lz zlib auto" ;;
            unpack:-j | unpack:--jobs | pack:-j | pack:--jobs | list:-j | list:--jobs)
                _tarnwad_words "1 2 4 8 16"
                ;;
            # An archive, a folder or a hash listing: any file.
            verify:--against) _filedir 2>/dev/null || COMPREPLY=($(compgen -f -- "$cur")) ;;
            mount:--cache-size) _tarnwad_words "64M 256M 1G" ;;
            *:--layer) _tarnwad_paths wad ;;
        esac
        # --exclude takes a pattern: nothing to offer.
        return
    fi

    if [[ $cur == -* ]]; then
        _tarnwad_words "$(_tarnwad_options "$command")"
        return
    fi

    # Which argument of the command this is, leaving out options and their
    # values.
    local count=0
    for ((i = at + 1; i < COMP_CWORD; i++)); do
        local word=${COMP_WORDS[i]}
        if [[ $word == -* ]]; then
            if _tarnwad_takes_value "$word"; then
                ((i++))
                if [[ ${COMP_WORDS[i]} == "=" ]]; then
                    ((i++))
                fi
            fi
        elif [[ $word != "=" ]]; then
            ((count++))
        fi
    done
    case $command in
        help)
            if ((count == 0)); then
                _tarnwad_words "$_tarnwad_commands"
            fi
            ;;
        pack)
            if ((count == 0)); then
                _tarnwad_paths
            fi
            ;;
        mount | conflicts)
            # The archive, then layers (archives or folders); the mount's
            # last argument is the empty directory to mount it on.
            _tarnwad_paths wad
            ;;
        diff)
            # A.wad, then B: another archive or a folder.
            if ((count <= 1)); then
                _tarnwad_paths wad
            fi
            ;;
        add | replace | update)
            # The archive, then files and folders to put in.
            if ((count == 0)); then
                _tarnwad_paths wad
            else
                _tarnwad_paths
            fi
            ;;
        rm | mv | compact)
            if ((count == 0)); then
                _tarnwad_paths wad
            fi
            ;;
        umount)
            if ((count == 0)); then
                _tarnwad_paths
            fi
            ;;
        list | unpack | cat | verify | info)
            # The archive; patterns and entry paths are the archive's own.
            if ((count == 0)); then
                _tarnwad_paths wad
            fi
            ;;
    esac
}

complete -F _tarnwad tarnwad
