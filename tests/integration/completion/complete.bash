# usage: bash complete.bash COMPLETION_FILE WORD...
# What the bash completion offers for the last of the words typed after `tarvex`, one a line.
# The words are as typed: quotes and backslashes kept, the last one "" after a space.
#
# Like bash, the words go into COMP_WORDS split also at runs of ":" and "=" outside quotes;
# readline then replaces only the last of those parts, so the rest of the word is put back
# before each word offered.
source "$1"
shift
COMP_WORDS=(tarvex)
for word in "$@"; do
  part="" quote="" breaks=0
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [ -z "$quote" ] && [[ $c == [:=] ]]; then
      [ $breaks = 0 ] && COMP_WORDS+=("$part") && part=""
      breaks=1
    else
      [ $breaks = 1 ] && COMP_WORDS+=("$part") && part=""
      breaks=0
      if [ "$c" = "\\" ] && [ "$quote" != "'" ]; then
        part+=$c
        ((i++))
        c=${word:i:1}
      elif [ -z "$quote" ] && [[ $c == [\'\"] ]]; then
        quote=$c
      elif [ "$c" = "$quote" ]; then
        quote=""
      fi
    fi
    part+=$c
  done
  COMP_WORDS+=("$part")
done
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE="tarvex $*"
COMP_POINT=${#COMP_LINE}
last=${!#}
replaced=${COMP_WORDS[COMP_CWORD]}
[[ $replaced == *[!:=]* ]] || replaced=""
before=${last:0:${#last}-${#replaced}}
_tarvex
for offered in "${COMPREPLY[@]}"; do
  printf '%s\n' "${before//\\/}$offered"
done
