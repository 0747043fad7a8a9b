#!/usr/bin/env bash
# Builds what is missing and runs every test, in the normal and in the sanitizer build.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

for config in release asan; do
  echo "== $config: build"
  "$root/scripts/build.sh" "$config"
  echo "== $config: test"
  ctest --test-dir "$root/build/$config" --output-on-failure -j "$jobs"
done
echo "== all tests passed"
