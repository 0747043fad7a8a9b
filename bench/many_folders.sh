#!/bin/sh
# The tree of a 2010-layout store with very many folders beside its analysis: printing the tree
# (every folder's item count) must stay within twice the analysis, however many folders.
#
#   bench/many_folders.sh BUILD_DIR [DATA_DIR]
#
# FOLDERS (default 100000) and ITEMS (default 100000) size the store, one mailbox; it is made
# when missing (about 0.4 GB for the defaults).
set -eu

build=${1:?usage: many_folders.sh BUILD_DIR [DATA_DIR]}
data=${2:-/work/bench-data}
folders=${FOLDERS:-100000}
items=${ITEMS:-100000}
forge="$build/tools/edbforge/exchange/edbforge"
tarvex="$build/cli/tarvex"
bench="$build/bench/tarvex_bench"
mkdir -p "$data"

store="$data/2010-folders-$folders.edb"
[ -f "$store" ] ||
  "$forge" scale --layout 2010 --mailboxes 1 --folders "$folders" --items "$items" "$store"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== $folders folders, $items items, $(du -h "$store" | cut -f1)"
"$bench" time steps "$store"
/usr/bin/time -f "tarvex tree         %e s wall, %U s user, %S s sys, peak %M KiB" \
  "$tarvex" tree -q "$store" >/dev/null
/usr/bin/time -f "tarvex tree --json  %e s wall, %U s user, %S s sys, peak %M KiB" \
  "$tarvex" tree -q --json "$store" >/dev/null
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
