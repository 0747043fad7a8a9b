# Bash completion of `tarvex`: commands, their options, database files, and for FOLDER the
# folder paths of the database already on the line (as `tarvex tree --paths` gives them).
# zsh takes it too: autoload -U bashcompinit && bashcompinit && source tarvex.bash

_tarvex() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local previous=${COMP_WORDS[COMP_CWORD-1]}
  local commands="info tree list show eml search export tables dump"
  local common="--json --quiet --verbose --progress --deep --help"
  if [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "$commands --version --help" -- "$current"))
    return
  fi
  local command=${COMP_WORDS[1]}
  case $previous in
    --out | --workdir | --saver)
      COMPREPLY=($(compgen -f -- "$current"))
      return
      ;;
    --kinds)
      COMPREPLY=($(compgen -W "mail contact calendar all" -- "$current"))
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
  local options="$common"
  case $command in
    tree) options="$options --paths" ;;
    show) options="$options --workdir" ;;
    eml) options="$options --out" ;;
    export) options="$options --kinds --out --saver --include-deleted" ;;
    search) options="$options --from --to --subject --body --after --before --kind --has-attachment --regex --workdir" ;;
  esac
  if [[ $current == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$current"))
    return
  fi
  # The first word that is no option is the database; FOLDER follows it.
  local database="" word
  for word in "${COMP_WORDS[@]:2:COMP_CWORD-2}"; do
    case $word in
      -*) ;;
      *) database=$word && break ;;
    esac
  done
  if [ -z "$database" ]; then
    COMPREPLY=($(compgen -f -- "$current"))
    return
  fi
  case $command in
    list | show | eml | search | export)
      local IFS=$'\n'
      COMPREPLY=($(compgen -W "$(tarvex tree --paths -q "$database" 2>/dev/null)" -- "$current"))
      ;;
  esac
}
complete -o filenames -F _tarvex tarvex
