#!/usr/bin/env python3
"""Writes a deterministic Pascal-like source text of a given size (default
100 MiB, about 2.5 million lines) for the benchmarks.

Usage: make_pascal_text.py OUTPUT [MEBIBYTES] [--crlf]
  --crlf  end the lines with CR LF instead of LF
"""
import random
import sys

WORDS = ["Value", "Count", "Name", "Item", "Index", "Buffer", "Line", "Text", "Owner", "Parent",
         "Width", "Height", "Style", "Color", "Font", "Caption", "Data", "List", "Node", "Cursor"]
TYPES = ["Integer", "string", "Boolean", "Cardinal", "Double", "TObject", "TStrings", "Pointer"]


def ident(rng):
    return rng.choice(WORDS) + rng.choice(WORDS) + rng.choice(WORDS)


def number(rng):
    if rng.random() < 0.5:
        return str(rng.randint(0, 999))
    return "%d.%d" % (rng.randint(0, 99), rng.randint(0, 9999))


def routine(rng, cls, out):
    kind = "procedure" if rng.random() < 0.6 else "function"
    name = ident(rng)
    params = "; ".join("const A%s: %s" % (ident(rng), rng.choice(TYPES)) for _ in range(rng.randint(0, 2)))
    result = ": %s" % rng.choice(TYPES) if kind == "function" else ""
    out.append("%s %s.%s(%s)%s;" % (kind, cls, name, params, result))
    out.append("var")
    for _ in range(rng.randint(1, 3)):
        out.append("  %s: %s;" % (ident(rng), rng.choice(TYPES)))
    out.append("begin")
    for _ in range(rng.randint(6, 20)):
        r = rng.random()
        v = ident(rng)
        if r < 0.3:
            out.append("    F%s := F%s + %s * %s;  { %s }" % (v, ident(rng), number(rng), v, ident(rng).lower()))
        elif r < 0.45:
            out.append("  if %s > %s then" % (v, number(rng)))
            out.append("    %s(%s);" % (ident(rng), v))
        elif r < 0.55:
            out.append("  for I := 0 to %s.Count - 1 do" % v)
            out.append("  begin")
            out.append("    %s.Items[I] := nil;" % v)
            out.append("  end;")
        elif r < 0.65:
            out.append("  // %s the %s of the %s" % (rng.choice(["update", "check", "clear", "draw"]),
                                                      v.lower(), ident(rng).lower()))
        elif r < 0.75:
            out.append("    %s := %s.Create('%s');" % (v, ident(rng), ident(rng)))
        elif r < 0.85:
            out.append("    Result := %s(%s, %s, %s);" % (ident(rng), v, number(rng), ident(rng)))
        else:
            out.append("  Inc(F%s);" % v)
    out.append("end;")


def unit(rng, index, out):
    cls = "T" + ident(rng)
    out.append("unit U%s%d;" % (ident(rng), index))
    out.append("")
    out.append("interface")
    out.append("")
    out.append("uses SysUtils, Classes, Graphics;")
    out.append("")
    out.append("type")
    out.append("  %s = class(TObject)" % cls)
    out.append("  private")
    for _ in range(rng.randint(2, 5)):
        out.append("    F%s: %s;" % (ident(rng), rng.choice(TYPES)))
    out.append("  public")
    for _ in range(rng.randint(2, 5)):
        out.append("    procedure %s(A%s: %s);" % (ident(rng), ident(rng), rng.choice(TYPES)))
    out.append("  end;")
    out.append("")
    out.append("implementation")
    out.append("")
    for _ in range(rng.randint(3, 8)):
        routine(rng, cls, out)
    out.append("end.")


def main():
    args = [a for a in sys.argv[1:] if a != "--crlf"]
    eol = "\r\n" if "--crlf" in sys.argv[1:] else "\n"
    path = args[0]
    target = int(args[1] if len(args) > 1 else 100) * 1024 * 1024
    rng = random.Random(1)
    written = 0
    index = 0
    with open(path, "w", newline="") as f:
        while written < target:
            out = []
            unit(rng, index, out)
            index += 1
            block = eol.join(out) + eol
            f.write(block)
            written += len(block)


if __name__ == "__main__":
    main()
