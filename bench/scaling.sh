#!/bin/sh
# The older-layout analysis at growing sizes beside reading the file once: `tarvex tree` (the
# analysis and every folder's item count), the same with the deep scan, the analysis, selection and preview steps alone,
# `cat` of the file with a warm page cache, and the plain libesedb scan of the same tables as
# far as it finishes in PLAIN_LIMIT seconds (default 600).
#
#   bench/scaling.sh BUILD_DIR [DATA_DIR]
#
# SIZES (default "10000 100000 1000000") picks the stores; they are made when missing
# (about 3.9 GB for a million items).
set -eu

build=${1:?usage: scaling.sh BUILD_DIR [DATA_DIR]}
data=${2:-/work/bench-data}
sizes=${SIZES:-10000 100000 1000000}
limit=${PLAIN_LIMIT:-600}
forge="$build/tools/edbforge/exchange/edbforge"
tarvex="$build/cli/tarvex"
bench="$build/bench/tarvex_bench"
mkdir -p "$data"

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for items in $sizes; do
  case $items in
    1000000) suffix=1m ;;
    *000) suffix=${items%000}k ;;
    *) suffix=$items ;;
  esac
  store="$data/older-$suffix.edb"
  [ -f "$store" ] ||
    "$forge" scale --layout older --mailboxes 1 --folders 200 --items "$items" "$store"
  echo "== $items items, $(du -h "$store" | cut -f1)"
  cat "$store" >/dev/null
  /usr/bin/time -f "cat, warm           %e s" cat "$store" >/dev/null
  /usr/bin/time -f "tarvex tree         %e s wall, %U s user, %S s sys, peak %M KiB" \
    "$tarvex" tree -q "$store" >/dev/null
  /usr/bin/time -f "tarvex tree --deep  %e s wall, %U s user, %S s sys, peak %M KiB" \
    "$tarvex" tree -q --deep "$store" >/dev/null
  "$bench" time steps "$store"
  if timeout "$limit" "$bench" memory plain-analysis "$store"; then :; else
    echo "plain libesedb scan   did not finish within $limit s"
  fi
  echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
done
