#!/usr/bin/python3
"""The installer under Wine: a silent install puts every file of the deployed folder in place,
the Start-menu entry points at the installed program, the command line beside it runs, and the
silent uninstall removes every file it installed, its folders, entries and keys.

installer-under-wine.py SETUP.exe DEPLOYED_FILES_LIST VERSION
Runs with WINEPREFIX naming a prefix made by `wine-prefix.sh program`.
"""
import glob
import os
import re
import subprocess
import sys
import time


class Failed(Exception):
    pass


def wine(*args, timeout=300):
    return subprocess.run(["wine", *args], capture_output=True, text=True, timeout=timeout)


def unix_path(windows_path):
    out = subprocess.run(["winepath", "-u", windows_path], capture_output=True, text=True, check=True).stdout
    return out.strip()


def link_target(lnk):
    """The local path a shell link points at (its LinkInfo's base path, ANSI or Unicode)."""
    data = open(lnk, "rb").read()
    for text in (data.decode("utf-16-le", "ignore"), data.decode("latin-1")):
        found = re.search(r"[A-Za-z]:\\[^\x00]*?ktm520\.exe", text)
        if found:
            return found.group(0)
    raise Failed(f"{lnk} names no ktm520.exe")


def registry_has(key):
    return wine("reg", "query", key).returncode == 0


def wait_until(what, predicate, timeout=90):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return
        time.sleep(0.5)
    raise Failed(f"timed out waiting until {what}")


def main():
    setup, listing, version = sys.argv[1:4]
    prefix = os.environ["WINEPREFIX"]
    files = [f for f in open(listing, encoding="utf-8").read().split("\n") if f]
    uninstall_key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnok KTM-520"

    result = wine(setup, "/S")
    if result.returncode != 0:
        raise Failed(f"the silent install exited {result.returncode}: {result.stderr[-2000:]}")
    # Wine's user is an administrator: "Highest" installs for every user of the machine.
    links = glob.glob(os.path.join(prefix, "drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu",
                                   "Programs", "KTM-520", "*.lnk"))
    names = sorted(os.path.basename(l) for l in links)
    if names != sorted(["KTM-520 数据管理.lnk", "卸载 KTM-520 数据管理.lnk"]):
        raise Failed(f"the Start menu holds {names}")
    program = link_target(next(l for l in links if "卸载" not in l))
    folder = unix_path(program.rsplit("\\", 1)[0])
    missing = [f for f in files if not os.path.isfile(os.path.join(folder, f))]
    if missing:
        raise Failed(f"not installed in {folder}: {missing}")
    if not registry_has(uninstall_key):
        raise Failed("no entry in Programs and Features")

    version_run = wine(os.path.join(folder, "ktm520-cli.exe"), "--version", timeout=120)
    if version_run.returncode != 0 or version not in version_run.stdout:
        raise Failed(f"the installed ktm520-cli.exe --version gave {version_run.returncode}: "
                     f"{version_run.stdout!r} {version_run.stderr[-1000:]!r}")

    # The uninstaller copies itself away and returns at once; what it removes is waited for.
    result = wine(os.path.join(folder, "uninstall.exe"), "/S")
    if result.returncode != 0:
        raise Failed(f"the silent uninstall exited {result.returncode}")
    wait_until(f"{folder} is gone", lambda: not os.path.exists(folder))
    left = [l for l in links if os.path.exists(l)]
    if left or os.path.exists(os.path.dirname(links[0])):
        raise Failed(f"the Start-menu entries are left: {left}")
    wait_until("the uninstall entry is gone", lambda: not registry_has(uninstall_key), 30)
    print(f"installed {len(files)} files into {folder}, ran {version_run.stdout.strip()!r}, removed them all")


if __name__ == "__main__":
    try:
        main()
    except Failed as e:
        print(f"FAILED: {e}", file=sys.stderr)
        sys.exit(1)
