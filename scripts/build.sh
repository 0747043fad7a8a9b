#!/usr/bin/env bash
# Configures (when needed) and builds one configuration: release (default) or asan.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
config=${1:-release}

case "$config" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DTARVEX_SANITIZE=ON) ;;
  *) echo "build: unknown configuration '$config' (release or asan)" >&2; exit 2 ;;
esac

# The project's own builds treat warnings as errors (off by default for packagers).
flags+=(-DTARVEX_WERROR=ON)

build_dir="$root/build/$config"
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$root" -B "$build_dir" -G Ninja "${flags[@]}"
elif ! grep -q '^TARVEX_WERROR:BOOL=ON$' "$build_dir/CMakeCache.txt"; then
  # A directory configured by hand: keep its settings, add the warnings as errors.
  cmake "$build_dir" -DTARVEX_WERROR=ON
fi
cmake --build "$build_dir"
