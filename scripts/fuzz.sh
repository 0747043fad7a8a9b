#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build/fuzz and runs each one for the given
# seconds (default 12: about a minute for all of them). The seeds are fuzz/seeds/, the saved
# regressions and the engine-written sample databases cut into what each target reads; what a
# run adds to the corpus stays in build/fuzz/corpus/. A crash, leak, timeout or excess of
# memory is saved in fuzz/regressions/<target>/ and fails the run.
#
# usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-12}
build_dir="$root/build/fuzz"
samples_dir=${TARVEX_SAMPLES_DIR:-$root/../shared/esent-samples}
targets=(page record database column_decompression compressed_rtf html_sanitizer html_visible_text
  message_headers export_report)

if [ ! -f "$build_dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_FUZZ=ON -DTARVEX_BUILD_TESTS=OFF -DTARVEX_WERROR=ON
fi
cmake --build "$build_dir" -- -j 2

sample_seeds="$build_dir/sample-seeds"
if [ ! -d "$sample_seeds" ] && compgen -G "$samples_dir/*.edb.gz" >/dev/null; then
  python3 "$root/fuzz/sample_seeds.py" "$samples_dir" "$sample_seeds"
fi

failed=()
for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"
  artifacts="$root/fuzz/regressions/$target"
  mkdir -p "$corpus" "$artifacts"
  inputs=("$corpus")
  for folder in "$root/fuzz/seeds/$target" "$artifacts" "$sample_seeds/$target"; do
    if [ -d "$folder" ]; then inputs+=("$folder"); fi
  done
  log="$build_dir/$target.log"
  echo "== fuzz $target: ${seconds}s (log: $log)"
  if ! "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=10 -artifact_prefix="$artifacts/" -print_final_stats=1 "${inputs[@]}" \
      >"$log" 2>&1; then
    tail -n 40 "$log"
    failed+=("$target")
  fi
  grep -E '^stat::number_of_executed_units' "$log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "== fuzz: a finding in ${failed[*]}: the input is in fuzz/regressions/<target>/" >&2
  exit 1
fi
echo "== fuzz: no findings"
