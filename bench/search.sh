#!/bin/sh
# `tarvex search` beside what it is held to: the analysis and one read of the header tables with
# our reader (`tarvex_bench time search-budget`), and `tarvex tree` (the analysis with every
# folder's items counted); a search by sender (header conditions only) and a search in the
# bodies, on a store made by `edbforge scale`.
#
#   bench/search.sh BUILD_DIR [DATA_DIR]
#
# ITEMS (default 1000000) and LAYOUT (older or 2010, default older) pick the store (one
# mailbox, 200 folders); it is made when missing (about 3.9 GB for a million items). SENDER and
# BODY are the texts searched for.
set -eu

build=${1:?usage: search.sh BUILD_DIR [DATA_DIR]}
data=${2:-/work/bench-data}
items=${ITEMS:-1000000}
layout=${LAYOUT:-older}
sender=${SENDER:-grace.kim}
body=${BODY:-budget}
forge="$build/tools/edbforge/exchange/edbforge"
tarvex="$build/cli/tarvex"
bench="$build/bench/tarvex_bench"
mkdir -p "$data"
found=$(mktemp -d)
trap 'rm -rf "$found"' EXIT
case $items in
  1000000) suffix=1m ;;
  *000) suffix=${items%000}k ;;
  *) suffix=$items ;;
esac
store="$data/$layout-$suffix.edb"
[ -f "$store" ] ||
  "$forge" scale --layout "$layout" --mailboxes 1 --folders 200 --items "$items" "$store"

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== $layout layout, $items items, $(du -h "$store" | cut -f1)"
cat "$store" >/dev/null
# The anchor: one read of the whole file from the (now warm) page cache.
/usr/bin/time -f "cat (warm)              %e s wall, %U s user, %S s sys" cat "$store" >/dev/null
# The budget: a search by sender at most the analysis plus one read of the header tables, a
# search in the bodies at most twice that.
"$bench" time search-budget "$store"
/usr/bin/time -f "tarvex tree            %e s wall, %U s user, %S s sys, peak %M KiB" \
  "$tarvex" tree -q "$store" >/dev/null
/usr/bin/time -f "search --from           %e s wall, %U s user, %S s sys, peak %M KiB" \
  "$tarvex" search -q "$store" --from "$sender" >"$found/from.txt"
echo "  $(($(wc -l <"$found/from.txt") - 1)) items found"
/usr/bin/time -f "search --body           %e s wall, %U s user, %S s sys, peak %M KiB" \
  "$tarvex" search -q "$store" --body "$body" >"$found/body.txt"
echo "  $(($(wc -l <"$found/body.txt") - 1)) items found"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
