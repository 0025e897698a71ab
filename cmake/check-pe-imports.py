#!/usr/bin/env python3
"""Checks the DLLs that a Windows program or library imports, from `objdump -p`.

  check-pe-imports.py OBJDUMP FILE ALLOWED.dll [ALLOWED.dll ...] [--exports NAME@ORD ...]

Fails when FILE imports a DLL outside the allowed list (case-insensitive), for instance a mingw
runtime DLL that static linking should have removed. With --exports, also checks that the export
table holds exactly these undecorated names at these ordinals."""

import re
import subprocess
import sys


def exports(dump):
    """NAME@ORDINAL for each named export. objdump's name table lists "[ n] Name" with
    n = ordinal - base."""
    base = re.search(r"^Export Address Table -- Ordinal Base (\d+)", dump, re.M)
    parts = dump.split("[Ordinal/Name Pointer] Table", 1)
    if not base or len(parts) != 2:
        return []
    table = parts[1].split("\n\n", 1)[0]
    return ["%s@%d" % (name, int(n) + int(base.group(1)))
            for n, name in re.findall(r"^\s*\[\s*(\d+)\] (\S+)\s*$", table, re.M)]


def main(argv):
    if "--exports" in argv:
        split = argv.index("--exports")
        argv, wanted = argv[:split], argv[split + 1:]
    else:
        wanted = None
    objdump, path, allowed = argv[1], argv[2], {a.lower() for a in argv[3:]}
    dump = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                          text=True).stdout
    imported = re.findall(r"^\s*DLL Name: (\S+)", dump, re.M)
    ok = True
    print("imports:", " ".join(imported))
    if not imported:
        print("no import table found")
        ok = False
    for name in imported:
        if name.lower() not in allowed:
            print("not allowed:", name)
            ok = False
    if wanted is not None:
        exported = sorted(exports(dump))
        print("exports:", " ".join(exported))
        if exported != sorted(wanted):
            print("expected exports:", " ".join(sorted(wanted)))
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
