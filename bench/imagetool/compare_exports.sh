#!/usr/bin/env bash
# compare_exports.sh [release-build-dir] [runs]
# Makes a library with 20,000 named exports (clang, lld-link), then lists its
# exports in INI form with imagor and with llvm-readobj --coff-exports, both
# in the same run, alternating, and compares the mean wall time per listing.
# Fails when imagor is slower or lists a different number of exports.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-20}
imagor="$build/imagetool/imagor"
[ -x "$imagor" ] || { echo "no $imagor: build the imagor target first" >&2; exit 2; }
work="$build/bench-imagetool"
dll="$work/exports20k.dll"
mkdir -p "$work"
if [ ! -f "$dll" ]; then
  python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
count = 20000
with open(f"{work}/exports.c", "w") as c:
    for i in range(count):
        c.write(f"int export_function_{i:05d}(int x) {{ return x + {i}; }}\n")
    c.write("int BenchEntry(void) { return 0; }\n")
with open(f"{work}/exports.def", "w") as d:
    d.write("LIBRARY exports20k.dll\nEXPORTS\n")
    for i in range(count):
        d.write(f"  export_function_{i:05d}\n")
PY
  clang --target=i686-pc-windows-msvc -O1 -c -o "$work/exports.obj" "$work/exports.c"
  lld-link /machine:x86 /nodefaultlib /dll /entry:BenchEntry /def:"$work/exports.def" \
    /out:"$dll" "$work/exports.obj" >/dev/null
fi

named=$("$imagor" -le -ini -raw "$dll" | grep -c '^export_function_')
readobj_named=$(llvm-readobj --coff-exports "$dll" | grep -c 'Name: export_function_')
if [ "$named" -ne 20000 ] || [ "$readobj_named" -ne 20000 ]; then
  echo "export counts differ: imagor $named, llvm-readobj $readobj_named" >&2
  exit 1
fi

now() { date +%s%N; }
t_imagor=0
t_readobj=0
for ((i = 0; i < runs; i++)); do
  s=$(now); "$imagor" -le -ini "$dll" >/dev/null; e=$(now); t_imagor=$((t_imagor + e - s))
  s=$(now); llvm-readobj --coff-exports "$dll" >/dev/null; e=$(now); t_readobj=$((t_readobj + e - s))
done
ms() { awk -v ns="$1" -v n="$runs" 'BEGIN { printf "%.2f", ns / n / 1e6 }'; }
echo "exports20k.dll, 20000 named exports, mean of $runs runs:"
echo "  imagor -le -ini             $(ms $t_imagor) ms"
echo "  llvm-readobj --coff-exports $(ms $t_readobj) ms"
if [ "$t_imagor" -gt "$t_readobj" ]; then
  echo "imagor is slower than llvm-readobj" >&2
  exit 1
fi
