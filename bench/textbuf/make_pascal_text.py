#!/usr/bin/env python3
"""Writes a Pascal-like source text of about the given size (default 100 MB,
about 2.5 million CR LF lines) for the text engine benchmark. Deterministic."""
import random
import sys

def main():
    out = sys.argv[1]
    target = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000_000
    rng = random.Random(1)
    idents = ["Result", "Index", "Count", "Buffer", "Line", "Offset", "Value", "Item", "List",
              "Stream", "Position", "Length", "Text", "Owner", "Handle", "Chunk", "Editor", "Size"]
    types = ["Integer", "string", "Boolean", "TObject", "Pointer", "Cardinal", "TStrings", "Int64"]

    def ident():
        return rng.choice(idents) + (str(rng.randrange(10)) if rng.random() < 0.3 else "")

    def body_line(depth):
        pad = "  " * depth
        r = rng.random()
        if r < 0.25:
            return f"{pad}{ident()} := {ident()}.{ident()}({ident()}) + {rng.randrange(1000)};"
        if r < 0.40:
            return f"{pad}if ({ident()} > {ident()}) and not {ident()}.Empty then"
        if r < 0.52:
            return f"{pad}{ident()}.{ident()}({ident()}, {ident()}, '{ident().lower()}');"
        if r < 0.60:
            return f"{pad}{{ {ident()} of the {ident().lower()} before the {ident().lower()} }}"
        if r < 0.65:
            return f"{pad}begin"
        if r < 0.70:
            return f"{pad}end;"
        if r < 0.72:
            return ""
        if r < 0.80:
            return f"{pad}{ident()} := Format('%s: %d', [{ident()}.{ident()}, {ident()}]);"
        if r < 0.90:
            return f"{pad}for {ident()} := 0 to {ident()}.Count - 1 do"
        return f"{pad}// {ident()} {ident().lower()} {ident().lower()} {ident().lower()}"

    chunks = []
    size = 0
    unit = 0
    while size < target:
        lines = [f"unit Unit{unit};", "", "interface", "", "type",
                 f"  T{ident()} = class(TObject)", "  private"]
        for _ in range(rng.randrange(3, 10)):
            lines.append(f"    F{ident()}: {rng.choice(types)};")
        lines += ["  end;", "", "implementation", ""]
        for p in range(rng.randrange(5, 15)):
            lines.append(f"procedure T{ident()}.{ident()}({ident()}: {rng.choice(types)});")
            lines.append("var")
            lines.append(f"  {ident()}: {rng.choice(types)};")
            lines.append("begin")
            for _ in range(rng.randrange(5, 40)):
                lines.append(body_line(rng.randrange(2, 7)))
            lines.append("end;")
            lines.append("")
        lines += ["end.", ""]
        text = "\r\n".join(lines) + "\r\n"
        chunks.append(text)
        size += len(text)
        unit += 1
    with open(out, "w", newline="") as f:
        f.write("".join(chunks))

main()
