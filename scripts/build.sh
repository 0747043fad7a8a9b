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

build_dir="$root/build/$config"
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$root" -B "$build_dir" -G Ninja "${flags[@]}"
fi
cmake --build "$build_dir"
