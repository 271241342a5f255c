#!/usr/bin/env python3
"""Checks that the source tree's includes run one way only.

The portable core is a stack of folders under src/:

    platform interface <- model <- text <- asm <- sim <- screen <- app

A folder may include its own headers and those of the folders below it,
never those above. asm and sim sit side by side above text; sim may use the
assembler's helpers (it looks labels up), the assembler never uses sim.
Backends (src/platform/<name>/), tools/, tests/ and bench/ stand on top and
may include anything. The core never includes a windowing system's, an
operating system's or an emulator's headers: those belong to backends.

Exit code 0 when every include follows the order, 1 otherwise (each offence
is printed as path:line: message).
"""
from __future__ import annotations

import os
import re
import sys

RANK = {"platform": 0, "model": 1, "text": 2, "asm": 3, "sim": 4,
        "screen": 5, "app": 6}
TOP = 100  # backends, tools, tests, benchmarks

# System headers that only a backend or a tool may use.
FOREIGN = re.compile(r"^(X11/|windows\.h|winuser\.h|wingdi\.h|commdlg\.h|"
                     r"unicorn/|Zydis/|Zycore/|cairo|gtk|gdk|glib|"
                     r"gtksourceview|unistd\.h|fcntl\.h|sys/)", re.I)

LOCAL = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SYSTEM = re.compile(r"^\s*#\s*include\s+<([^>]+)>")


def layer_of_file(rel: str) -> tuple[str, int]:
    parts = rel.split("/")
    if parts[0] != "src":
        return parts[0], TOP
    if parts[1] == "platform":
        # src/platform/<backend>/... is a backend; src/platform/*.h is the
        # interface at the bottom of the stack.
        return ("platform", 0) if len(parts) == 3 else ("platform/" + parts[2], TOP)
    return parts[1], RANK.get(parts[1], TOP)


def layer_of_include(inc: str) -> tuple[str, int] | None:
    parts = inc.split("/")
    if len(parts) < 2:
        return None  # a header beside the including file
    if parts[0] == "platform":
        return ("platform", 0) if len(parts) == 2 else ("platform/" + parts[1], TOP)
    if parts[0] in RANK:
        return parts[0], RANK[parts[0]]
    return None


def check(root: str) -> list[str]:
    problems = []
    for top in ("src", "tools", "tests", "bench"):
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".hpp", ".cpp", ".cc", ".c")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                layer, rank = layer_of_file(rel)
                if rank == TOP:
                    continue  # the top of the stack may include anything
                with open(path, encoding="utf-8", errors="replace") as f:
                    for n, line in enumerate(f, 1):
                        m = LOCAL.match(line)
                        if m:
                            target = layer_of_include(m.group(1))
                            if target is None:
                                continue
                            tlayer, trank = target
                            if tlayer != layer and trank >= rank:
                                problems.append(
                                    f"{rel}:{n}: {layer} may not include "
                                    f"\"{m.group(1)}\" ({tlayer} is not below it)")
                            continue
                        m = SYSTEM.match(line)
                        if m and FOREIGN.match(m.group(1)):
                            problems.append(
                                f"{rel}:{n}: the core ({layer}) may not include "
                                f"<{m.group(1)}>; that belongs to a backend")
    return problems


def main() -> int:
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..")
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) against the layer order")
        return 1
    print("layers: every include runs downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main())
