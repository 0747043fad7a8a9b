#!/bin/sh
# Makes the benchmark stores if they are missing and runs every benchmark on them.
#
#   bench/run_benchmarks.sh BUILD_DIR [DATA_DIR]
#
# BUILD_DIR holds a release build with bench/tarvex_bench and tools/edbforge/exchange/edbforge.
# DATA_DIR (default /work/bench-data) receives the stores: about 4.5 GB for each million items.
# ITEMS (default 100000) sets the store size, REPEAT (default 3) the runs of each comparison.
# libesedb's cost per record grows with the table, so 1000000 items take hours (README.md).
set -eu

build=${1:?usage: run_benchmarks.sh BUILD_DIR [DATA_DIR]}
data=${2:-/work/bench-data}
items=${ITEMS:-100000}
repeat=${REPEAT:-3}
bench="$build/bench/tarvex_bench"
forge="$build/tools/edbforge/exchange/edbforge"
saver="$build/saver/mailsaving"
mkdir -p "$data"

suffix=$items
case $items in
  1000000) suffix=1m ;;
  *000) suffix=${items%000}k ;;
esac
older="$data/older-$suffix.edb"
modern="$data/2010-$suffix.edb"

# Older layout: one mailbox of 200 folders, so a folder holds items/200 (5,000 of a million).
[ -f "$older" ] ||
  "$forge" scale --layout older --mailboxes 1 --folders 200 --items "$items" "$older"
# 2010 layout: ten mailboxes of one item folder each, so each Inbox holds a tenth of the items.
[ -f "$modern" ] ||
  "$forge" scale --layout 2010 --mailboxes 10 --folders 1 --items "$items" "$modern"

for store in "$older" "$modern"; do
  echo "== $store"
  run=1
  while [ "$run" -le "$repeat" ]; do
    echo "-- run $run"
    "$bench" compare analysis "$store"
    "$bench" compare selection "$store"
    run=$((run + 1))
  done
  echo "-- peak memory, one process each"
  "$bench" memory plain-analysis "$store"
  "$bench" memory analysis "$store"
  "$bench" memory selection "$store"
done

# Export: 10,000 mail items of one folder through the saver.
export_store="$data/older-export-10k.edb"
[ -f "$export_store" ] ||
  "$forge" scale --layout older --mailboxes 1 --folders 1 --items 10000 "$export_store"
echo "== $export_store"
"$bench" export "$saver" "$export_store"
