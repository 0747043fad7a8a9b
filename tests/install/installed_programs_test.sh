#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs what was installed: the command line on a
# store, an export through the installed saver, and the window up to its first question.
#
# usage: installed_programs_test.sh CMAKE BUILD_DIR EDBFORGE SCENARIO_JSON BINDIR SAVERDIR DATADIR
#                                   MANDIR ZSH_COMPLETION_DIR
#   the last five as the build installs them, relative to the prefix (bin, libexec/tarvex, share,
#   share/man, share/zsh/site-functions)
set -euo pipefail

cmake=$1
build_dir=$2
edbforge=$3
scenario=$4
bindir=$5
saverdir=$6
datadir=$7
mandir=$8
zsh_completions=$9

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build_dir" --prefix "$prefix" >/dev/null

desktop_entry="$prefix/$datadir/applications/tarvex-mailbox-rescue.desktop"
for file in "$desktop_entry" "$prefix/$datadir/tarvex-mailbox-rescue/tarvex-mailbox-rescue.html" \
  "$prefix/$datadir/icons/hicolor/scalable/apps/tarvex-mailbox-rescue.svg" \
  "$prefix/$mandir/man1/tarvex.1" "$prefix/$datadir/bash-completion/completions/tarvex" \
  "$prefix/$zsh_completions/_tarvex" "$prefix/$datadir/fish/vendor_completions.d/tarvex.fish"; do
  [ -f "$file" ] || fail "not installed: $file"
done
for program in "$bindir/tarvex" "$bindir/tarvex-mailbox-rescue" "$saverdir/mailsaving"; do
  [ -x "$prefix/$program" ] || fail "not installed as a program: $program"
done
grep -q '^Exec=tarvex-mailbox-rescue$' "$desktop_entry" ||
  fail "the desktop entry does not start the window program"
grep -q '^Icon=tarvex-mailbox-rescue$' "$desktop_entry" ||
  fail "the desktop entry does not name the installed icon"

"$prefix/$bindir/tarvex" --help | grep -q 'Exchange' || fail "tarvex --help"

store="$scratch/store.edb"
"$edbforge" build "$scenario" "$store" >/dev/null
info=$("$prefix/$bindir/tarvex" info "$store" --quiet) || fail "tarvex info exited with $?"
grep -q '^Store kind: *private' <<<"$info" || fail "tarvex info: $info"

# Run from elsewhere: the saver must be found from the installed program, not the build tree.
(cd "$scratch" && "$prefix/$bindir/tarvex" export "$store" --kinds mail --out "$scratch/out" --quiet) \
  >/dev/null || fail "tarvex export through the installed saver"
[ -s "$(find "$scratch/out" -name mail.mbox -print -quit)" ] || fail "the export wrote no mail.mbox"

# The window: built, shown and its event loop running, then it ends at the first question.
window=$(QT_QPA_PLATFORM=offscreen "$prefix/$bindir/tarvex-mailbox-rescue" --check-start 2>/dev/null) ||
  fail "tarvex-mailbox-rescue --check-start exited with $?"
[ "$window" = "tarvex-mailbox-rescue: the window started" ] || fail "window: $window"
"$prefix/$bindir/tarvex-mailbox-rescue" --version | grep -q 'Tarvex Mailbox Rescue' ||
  fail "tarvex-mailbox-rescue --version"
echo "installed programs work"
