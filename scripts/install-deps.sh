#!/usr/bin/env bash
# Installs every Debian package the build, the programs and the tests need.
# Does nothing when all are present; runs apt-get update only when one is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev
  fonts-dejavu-core                    # a fixed-pitch font for the rendering tests
  libgtest-dev libgmock-dev libbenchmark-dev
  clang lld llvm libclang-rt-14-dev    # fuzzers and the image fixtures
  vim                                  # comparison runs of the benchmarks
  diffutils coreutils grep python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
