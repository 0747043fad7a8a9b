#!/usr/bin/env bash
# Builds what is missing and runs every test, in the normal and in the sanitizer build.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

for config in release asan; do
  echo "== $config: build"
  "$root/scripts/build.sh" "$config"
  echo "== $config: test"
  # The window tests need a display: without one, ctest runs inside a virtual X server.
  if [[ -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1600x1000x24" \
      ctest --test-dir "$root/build/$config" --output-on-failure -j "$jobs"
  else
    ctest --test-dir "$root/build/$config" --output-on-failure -j "$jobs"
  fi
done
# The fuzz targets, about a minute in all, in their own clang build.
if command -v clang++ >/dev/null; then
  "$root/scripts/fuzz.sh"
fi
echo "== all tests passed"
