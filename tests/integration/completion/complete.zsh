# usage: zsh -f complete.zsh COMPLETION_FOLDER WORD...
# What the zsh completion offers for the last of the words typed after `tarvex`, one a line.
# An interactive zsh on a pseudo-terminal gets the line and a Tab; its compadd writes each
# match into a file before adding it, and after the completion the shell prints a marker and
# ends.
zmodload zsh/zpty || exit 2
folder=$1
shift
line="tarvex $*"
home=$(mktemp -d) || exit 2
out=$home/offered
cat >$home/.zshrc <<RC
PS1='' RPS1='' PROMPT_EOL_MARK=''
# No list of the matches, which could stop to ask whether to show it.
unsetopt auto_list
fpath=(${(q)folder} \$fpath)
autoload -Uz compinit && compinit -u -D
compadd() {
  setopt localoptions extendedglob
  # Asked for the matches only (by _describe, _arguments): nothing is offered yet.
  if (( \${@[(I)-[[:alpha:]]#[OAD]*]} )); then
    builtin compadd "\$@"
    return
  fi
  local -a found
  builtin compadd -O found "\$@"
  # With -Q the words come quoted already.
  (( \${@[(I)-[[:alpha:]]#Q*]} )) && found=(\${(Q)found})
  (( \$#found )) && print -rl -- \$IPREFIX\${^found} >>${(q)out}
  builtin compadd "\$@"
}
complete-and-end() {
  zle complete-word
  BUFFER='print -r -- END""OF""COMPLETION; exit'
  zle .accept-line
}
zle -N complete-and-end
bindkey '^I' complete-and-end
RC
: >$out
zpty completion "ZDOTDIR=${(q)home} zsh -o no_global_rcs -i"
zpty -w -n completion "$line"$'\t'
zpty -r completion seen '*ENDOFCOMPLETION*'
zpty -d completion
cat $out
rm -rf $home
