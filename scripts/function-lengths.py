#!/usr/bin/env python3
"""Lists the functions of some source folders longer than a number of lines.

    scripts/function-lengths.py [--build DIR] [--min LINES] FOLDER...

Reads the functions from clang's syntax tree (clang-query over the build's
compile_commands.json), so a brace in a string or a comment, a macro or a
raw string cannot mislead the count. A function is counted from the first
line of its declaration (return type included) to its closing brace; a
lambda (an operator()) is listed on its own as well as inside its function. Functions of
headers of the folders are counted once, whichever source includes them.

Example: scripts/function-lengths.py --min 60 app screens
"""

import argparse
import json
import os
import re
import subprocess
import sys

MATCHER = (
    "functionDecl(isDefinition(), unless(isImplicit()), "
    'isExpansionInFileMatching("{pattern}"))'
)
# "FunctionDecl 0x55d0 <a.cpp:28:1, line:35:1> line:28:26 used argumentsOf 'int ()'"
DECL = re.compile(r"^(\w+Decl) 0x[0-9a-f]+ (?:parent 0x[0-9a-f]+ )?(?:prev 0x[0-9a-f]+ )?<(.*?)> (.*)$")
BEGIN = re.compile(r"^(.*?):(\d+):\d+$")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=None, help="build directory (default: ./build)")
    parser.add_argument("--min", type=int, default=60, help="shortest length listed")
    parser.add_argument("folders", nargs="+")
    args = parser.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(args.build or os.path.join(root, "build"))
    folders = [os.path.join(root, f.strip("/")) + "/" for f in args.folders]
    with open(os.path.join(build, "compile_commands.json")) as f:
        units = sorted({e["file"] for e in json.load(f)})
    sources = [u for u in units if any(u.startswith(d) for d in folders)]
    if not sources:
        sys.exit("no compiled source in " + " ".join(args.folders))

    pattern = "^(" + "|".join(re.escape(d) for d in folders) + ")"
    dump = subprocess.run(
        ["clang-query", "-p", build,
         "--extra-arg=-Wno-unknown-warning-option", "--extra-arg=-Wno-error",
         "-c", "set output dump",
         "-c", "match " + MATCHER.format(pattern=pattern)] + sources,
        capture_output=True, text=True, check=False).stdout

    found = {}
    lines = dump.splitlines()
    for i, line in enumerate(lines):
        if line != 'Binding for "root":' or i + 1 >= len(lines):
            continue
        m = DECL.match(lines[i + 1])
        if not m:
            continue
        kind, extent, rest = m.groups()
        first, _, last = extent.partition(", ")
        b = BEGIN.match(first)
        if not b:
            continue
        path, begin = b.group(1), int(b.group(2))
        end = begin
        if last.startswith("line:"):
            end = int(last.split(":")[1])
        name = rest.split(" '")[0].split()[-1] if " '" in rest else rest.split()[-1]
        # A macro of another library expanded in the folders (Q_OBJECT)
        # is that library's function, not ours.
        if not any(path.startswith(d) for d in folders):
            continue
        rel = os.path.relpath(path, root)
        found[(rel, begin)] = (end - begin + 1, name, kind)

    rows = sorted(((n, rel, begin, name) for (rel, begin), (n, name, _) in found.items()
                   if n >= args.min), key=lambda r: (-r[0], r[1], r[2]))
    for n, rel, begin, name in rows:
        print(f"{n:5d}  {rel}:{begin}  {name}")


if __name__ == "__main__":
    main()
