#!/usr/bin/env python3
"""Checks that the source tree's includes run one way only.

Three tiers, each standing on the ones below it:

    programs   apps/, tests/, bench/, fuzz/        may include anything
    backends   backends/<name>/, src/engine/       the core and other backends
    core       src/: platform <- model <- text <- asm, sim <- screen <- app

Inside the core a folder may include its own headers and those of the
folders below it, never those above. asm and sim sit side by side above
text; sim may use the assembler's helpers (it looks labels up), the
assembler never uses sim. src/platform/ holds only the interface headers at
the bottom of the stack. A backend may use another (headless uses the POSIX
services, x11 the headless cairo canvas) but never a program. The core never
includes a windowing system's, an operating system's, an emulator's or a
decoder's headers: those belong to backends and programs.

An include is placed by the file it names: beside the including file, under
src/ or under the repository's root ("backends/...", "apps/...").

Exit code 0 when every include follows the order, 1 otherwise (each offence
is printed as path:line: message).
"""
from __future__ import annotations

import os
import re
import sys

CORE = {"platform": 0, "model": 1, "text": 2, "asm": 3, "sim": 4,
        "screen": 5, "app": 6}
BACKEND = 10  # backends/<name>/, src/engine/
PROGRAM = 20  # apps/, tests/, bench/, fuzz/
PROGRAM_DIRS = ("apps", "tests", "bench", "fuzz")
SCANNED = ("src", "backends") + PROGRAM_DIRS

# System headers that only a backend or a program may use.
FOREIGN = re.compile(r"^(X11/|windows\.h|winuser\.h|wingdi\.h|commdlg\.h|"
                     r"unicorn/|Zydis/|Zycore/|cairo|fontconfig/|gtk|gdk|glib|"
                     r"gtksourceview|unistd\.h|fcntl\.h|dirent\.h|strings\.h|"
                     r"poll\.h|sys/)", re.I)

LOCAL = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SYSTEM = re.compile(r"^\s*#\s*include\s+<([^>]+)>")
SOURCE = (".h", ".hpp", ".cpp", ".cc", ".c")


def layer_of_file(rel: str) -> tuple[str, int] | str:
    """The layer's name and rank of a file, or why it has none."""
    parts = rel.split("/")
    if parts[0] in PROGRAM_DIRS:
        return parts[0], PROGRAM
    if parts[0] == "backends":
        if len(parts) < 3:
            return "backends/ holds one folder per backend"
        return "backends/" + parts[1], BACKEND
    if parts[0] == "src" and len(parts) >= 3:
        if parts[1] == "engine":
            return "engine", BACKEND
        if parts[1] == "platform" and (len(parts) > 3 or not rel.endswith(".h")):
            return "src/platform/ holds only the interface headers"
        if parts[1] in CORE:
            return parts[1], CORE[parts[1]]
        return f"src/{parts[1]}/ is not a layer (add it to scripts/check_layers.py)"
    return "not inside a layer"


def layer_of_include(root: str, including: str, inc: str) -> tuple[str, int] | None:
    """The layer of the file an include names, None for a file outside the tree."""
    here = os.path.dirname(including)
    for base in (here, "src", ""):
        rel = os.path.normpath(os.path.join(base, inc)).replace(os.sep, "/")
        if not rel.startswith("../") and os.path.isfile(os.path.join(root, rel)):
            layer = layer_of_file(rel)
            return layer if isinstance(layer, tuple) else (rel, PROGRAM)
    return None


def check(root: str) -> list[str]:
    problems = []
    for top in SCANNED:
        for dirpath, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCE):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                layer = layer_of_file(rel)
                if isinstance(layer, str):
                    problems.append(f"{rel}: {layer}")
                    continue
                lname, rank = layer
                if rank == PROGRAM:
                    continue  # the top of the stack may include anything
                with open(path, encoding="utf-8", errors="replace") as f:
                    for n, line in enumerate(f, 1):
                        m = LOCAL.match(line)
                        if m:
                            target = layer_of_include(root, rel, m.group(1))
                            if target is None:
                                continue
                            tname, trank = target
                            same = tname == lname or (rank == BACKEND and trank == BACKEND)
                            if not same and trank >= rank:
                                problems.append(
                                    f"{rel}:{n}: {lname} may not include "
                                    f"\"{m.group(1)}\" ({tname} is not below it)")
                            continue
                        m = SYSTEM.match(line)
                        if m and rank < BACKEND and FOREIGN.match(m.group(1)):
                            problems.append(
                                f"{rel}:{n}: the core ({lname}) may not include "
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
