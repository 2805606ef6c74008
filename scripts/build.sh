#!/usr/bin/env bash
# build.sh <release|asan> [ninja targets...]
# Configures (once) and builds one of the two build trees under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}; shift || true
case "$kind" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_SANITIZE=OFF -DQUILL_BENCH=ON) ;;
  asan)    flags=(-DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON) ;;
  *) echo "usage: build.sh release|asan [targets]" >&2; exit 2 ;;
esac
dir="$root/build/$kind"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
fi
cmake --build "$dir" -- "$@"
