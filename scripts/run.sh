#!/usr/bin/env bash
# Installs what is missing, builds the release tree and starts the suite's main
# program with the given arguments. The editor does not exist yet; until it
# does, this starts the most complete program, the image tool `imagor`
# (with --help when no arguments are given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release imagor
[ $# -eq 0 ] && set -- --help
exec "$root/build/release/imagetool/imagor" "$@"
