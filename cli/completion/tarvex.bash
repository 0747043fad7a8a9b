# Bash completion of `tarvex`: commands, their options and option values, database files, and
# for FOLDER the folder paths of the database already on the line (`tarvex tree --paths`), for
# TABLE its tables (`tarvex tables`).

# The word as the command will get it: the line's quotes and backslashes removed, a leading ~/
# made the home folder.
_tarvex_unquoted() {
  local word=$1 result="" quote="" c i
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [ "$quote" = "'" ]; then
      if [ "$c" = "'" ]; then quote=""; else result+=$c; fi
    elif [ "$c" = "\\" ]; then
      ((i++))
      result+=${word:i:1}
    elif [ "$c" = "$quote" ]; then
      quote=""
    elif [ -z "$quote" ] && [[ $c == [\'\"] ]]; then
      quote=$c
    else
      result+=$c
    fi
  done
  [[ $result == "~/"* ]] && result=$HOME/${result#"~/"}
  printf '%s' "$result"
}

# The words of the line up to the cursor as the command will get them, quoting kept: bash splits
# COMP_WORDS also at ":" and "=" outside quotes ("EX:o=Org" is three words), joined again here
# where no blank stood between them. Sets `words` and `cword`.
_tarvex_line_words() {
  words=()
  local line=${COMP_LINE:0:COMP_POINT} rest i
  for ((i = 0; i <= COMP_CWORD; i++)); do
    rest=${line#"${line%%[![:blank:]]*}"}
    if [ $i -eq 0 ] || [ ${#rest} -lt ${#line} ]; then
      words+=("${COMP_WORDS[i]}")
    else
      words[${#words[@]} - 1]+=${COMP_WORDS[i]}
    fi
    line=${rest:${#COMP_WORDS[i]}}
  done
  cword=$((${#words[@]} - 1))
}

_tarvex() {
  local words cword
  _tarvex_line_words
  local current
  current=$(_tarvex_unquoted "${words[cword]}")
  local previous=${words[cword-1]}
  local commands="info tree list show eml search export tables dump"
  if [ "$cword" -eq 1 ]; then
    if [[ $current == -* ]]; then
      COMPREPLY=($(compgen -W "--help --version" -- "$current"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$current"))
    fi
    return
  fi
  local command=${words[1]}
  local valued="--out --workdir --saver --kinds --format --from --to --subject --body --after --before --kind"
  case $previous in
    --out | --saver)
      local IFS=$'\n'
      COMPREPLY=($(compgen -f -- "$current"))
      return
      ;;
    --workdir)
      local IFS=$'\n'
      COMPREPLY=($(compgen -d -- "$current"))
      return
      ;;
    --kinds)
      # A comma-separated list: complete its last entry.
      local given=""
      [[ $current == *,* ]] && given=${current%,*},
      COMPREPLY=($(compgen -P "$given" -W "mail contact calendar task note journal distlist all" \
        -- "${current##*,}"))
      return
      ;;
    --format)
      COMPREPLY=($(compgen -W "mbox maildir eml" -- "$current"))
      return
      ;;
    --kind)
      COMPREPLY=($(compgen -W "mail contact distlist appointment activity notes task rss" -- "$current"))
      return
      ;;
    --from | --to | --subject | --body | --after | --before)
      return
      ;;
  esac
  local options="--help --quiet --verbose --progress --deep"
  case $command in
    info | list | tables | dump) options="$options --json" ;;
    tree) options="$options --json --paths" ;;
    show) options="$options --workdir" ;;
    eml) options="$options --json --out" ;;
    export) options="$options --json --kinds --out --saver --include-deleted --format --replace --append" ;;
    search) options="$options --json --from --to --subject --body --after --before --kind --has-attachment --regex --workdir" ;;
    *) return ;;
  esac
  if [[ $current == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$current"))
    return
  fi
  # The arguments given before this word: neither options nor option values.
  local arguments=() word skip_value=0 i
  for ((i = 2; i < cword; i++)); do
    word=${words[i]}
    if [ $skip_value = 1 ]; then
      skip_value=0
    elif [[ " $valued " == *" $word "* ]]; then
      skip_value=1
    elif [[ $word != -* ]]; then
      arguments+=("$(_tarvex_unquoted "$word")")
    fi
  done
  local names=()
  case ${#arguments[@]}:$command in
    0:*)
      local IFS=$'\n'
      COMPREPLY=($(compgen -d -- "$current") $(compgen -f -X '!*.[eE][dD][bB]' -- "$current"))
      return
      ;;
    1:list | 1:show | 1:eml | *:search | *:export)
      mapfile -t names < <(tarvex tree --paths -q "${arguments[0]}" 2>/dev/null)
      ;;
    1:dump)
      local line
      while IFS= read -r line; do
        [[ $line =~ ^(.+):\ [0-9]+\ records?,\ [0-9]+\ columns?$ ]] && names+=("${BASH_REMATCH[1]}")
      done < <(tarvex tables -q "${arguments[0]}" 2>/dev/null)
      ;;
  esac
  # Not through compgen -W, which would expand a "$(...)" in a folder's name. Outside quotes the
  # shell replaces only what follows the last ":" or "=" of the word.
  local name replaced=""
  [[ ${words[cword]} != [\'\"]* ]] && replaced=${current%"${current##*[:=]}"}
  for name in "${names[@]}"; do
    [[ $name == "$current"* ]] && COMPREPLY+=("${name#"$replaced"}")
  done
}
complete -o filenames -F _tarvex tarvex
