#!/usr/bin/env python3
"""Lays out the Windows program's folder: the programs, exactly the DLLs they and their Qt plugins
import (followed through every DLL, found in the dependencies' and the compiler's folders; what is
found in neither is Windows' own), the plugins, Qt's catalogues the program loads, the data files
and the licences. Writes beside the folder the installer's lists of what to install and remove.

deploy.py --out DIR --objdump PROG --search DIR [--search DIR...] --plugins DIR
          --plugin platforms/qwindows.dll ... --file SRC[=DEST] ... PROGRAM.exe ...
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

DLL_NAME = re.compile(r"^\s*DLL Name:\s*(\S+)", re.MULTILINE)


def imports(objdump, path):
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    return DLL_NAME.findall(out)


def find_dll(name, folders):
    for folder in folders:
        for entry in os.listdir(folder) if os.path.isdir(folder) else []:
            if entry.lower() == name.lower():
                return os.path.join(folder, entry)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--strip", help="strips the programs and DLLs placed (their debug information stays behind)")
    ap.add_argument("--search", action="append", default=[])
    ap.add_argument("--plugins", required=True)
    ap.add_argument("--plugin", action="append", default=[])
    ap.add_argument("--file", action="append", default=[], help="SRC or SRC=DEST (DEST relative to --out)")
    ap.add_argument("programs", nargs="+")
    args = ap.parse_args()

    out = os.path.abspath(args.out)
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)

    placed = {}  # destination relative to out -> source

    def place(src, dest):
        if not os.path.isfile(src):
            sys.exit(f"deploy: {src} is missing")
        placed[dest.replace("\\", "/")] = src

    for program in args.programs:
        place(program, os.path.basename(program))
    for plugin in args.plugin:
        place(os.path.join(args.plugins, plugin), plugin)

    # Every DLL a placed binary imports, and those they import in turn.
    pending = [src for dest, src in placed.items() if dest.lower().endswith((".exe", ".dll"))]
    seen = set()
    while pending:
        binary = pending.pop()
        for name in imports(args.objdump, binary):
            key = name.lower()
            if key in seen:
                continue
            seen.add(key)
            found = find_dll(name, args.search)
            if found:  # else a DLL of Windows itself
                place(found, os.path.basename(found))
                pending.append(found)

    for entry in args.file:
        src, _, dest = entry.partition("=")
        if os.path.isdir(src):
            for root, _, files in os.walk(src):
                for f in files:
                    full = os.path.join(root, f)
                    place(full, os.path.join(dest or os.path.basename(src), os.path.relpath(full, src)))
        else:
            place(src, dest or os.path.basename(src))

    for dest, src in sorted(placed.items()):
        target = os.path.join(out, dest)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(src, target)
        if args.strip and dest.lower().endswith((".exe", ".dll")):
            subprocess.run([args.strip, "--strip-unneeded", target], check=True)

    # The installer installs each file by name and its uninstaller removes exactly those, then
    # the folders they were in, deepest first, if nothing else is left in them.
    files = sorted(placed)
    folders = sorted({os.path.dirname(f) for f in files if os.path.dirname(f)}, key=lambda d: (-d.count("/"), d))
    base = os.path.dirname(out)
    with open(os.path.join(base, "install-files.nsh"), "w", encoding="utf-8") as nsh:
        current = None
        for f in files:
            folder = os.path.dirname(f)
            if folder != current:
                nsh.write(f'SetOutPath "$INSTDIR{win(folder, True)}"\n')
                current = folder
            nsh.write(f'File "/oname={os.path.basename(f)}" "{os.path.join(out, f)}"\n')
        nsh.write('SetOutPath "$INSTDIR"\n')
    with open(os.path.join(base, "uninstall-files.nsh"), "w", encoding="utf-8") as nsh:
        for f in files:
            nsh.write(f'Delete "$INSTDIR\\{win(f)}"\n')
        for d in folders:
            nsh.write(f'RMDir "$INSTDIR\\{win(d)}"\n')
    with open(os.path.join(base, "deployed-files.txt"), "w", encoding="utf-8") as listing:
        listing.write("\n".join(files) + "\n")
    size = sum(os.path.getsize(os.path.join(out, f)) for f in files)
    print(f"deploy: {len(files)} files, {size / 1e6:.1f} MB in {out}")


def win(relative, leading=False):
    if not relative:
        return ""
    path = relative.replace("/", "\\")
    return "\\" + path if leading else path


if __name__ == "__main__":
    main()
