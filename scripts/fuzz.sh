#!/usr/bin/env bash
# fuzz.sh <target> [seconds] [extra libFuzzer flags...]
# Builds a libFuzzer target with clang and runs it for the given time (default
# 60 s). The working corpus lives in build/fuzz/corpus/<target>, seeded from
# tests/fuzz/seeds/<target> when that exists; crashing inputs land in
# build/fuzz-<target>/artifacts/ (keep them as regression fixtures).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: fuzz.sh <target> [seconds]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
"$root/scripts/install-deps.sh"
dir="$root/build/fuzz-$target"
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILL_FUZZ=ON -DQUILL_TESTS=OFF >/dev/null
fi
cmake --build "$dir" --target "$target"
exe=$(find "$dir" -type f -name "$target" -perm -u+x | head -n 1)
corpus="$dir/corpus"
artifacts="$dir/artifacts"
mkdir -p "$corpus" "$artifacts"
folder=$(basename "$(dirname "$exe")")
seeds=()
if [ -d "$root/tests/fuzz/$folder/seeds/$target" ]; then
  seeds=("$root/tests/fuzz/$folder/seeds/$target")
elif [ -d "$root/tests/fuzz/$folder/seeds" ]; then
  seeds=("$root/tests/fuzz/$folder/seeds")
fi
exec "$exe" -max_total_time="$seconds" -artifact_prefix="$artifacts/" -rss_limit_mb=2048 -timeout=10 "$@" "$corpus" "${seeds[@]}"
