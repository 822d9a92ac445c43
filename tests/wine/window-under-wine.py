#!/usr/bin/python3
"""The Windows window, ktm520.exe from the deployed folder, under Wine on an X server, driven with
real X input (xdotool) against the simulated instrument on the prefix's COM7: the port list shows
COM7, connect, read the partitions, list A, copy partition A, save it as .xls through the
spreadsheet server registered as "Excel.Application" and, with none registered, through the
program's own engine, open the history tab. The oracle is what the program leaves: its support
log, the workbooks (read back with xlrd and compared with what the simulator holds, as the Linux
command line copies it) and a screenshot.

window-under-wine.py --sim SIM --cli LINUX_CLI --deployed DIR --server DLL --register SCRIPT
                     --work DIR [--screenshot PNG]
Runs inside an X server (DISPLAY) with WINEPREFIX naming a prefix made by program-prefix.sh.
"""
import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import xlrd

PORT = "COM7"


class Failed(Exception):
    pass


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def xdo(*args):
    return run("xdotool", *args).strip()


def wait_for(what, predicate, timeout=60.0, step=0.2):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise Failed(f"timed out waiting for {what}")


class Window:
    """One run of ktm520.exe, its log and its top-level X windows."""

    def __init__(self, args, env, log_path):
        self.args = args
        self.env = env
        self.log_path = log_path
        self.log_start = os.path.getsize(log_path) if os.path.exists(log_path) else 0
        exe = os.path.join(args.deployed, "ktm520.exe")
        self.proc = subprocess.Popen(["wine", exe], env=env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.main = wait_for("the main window", lambda: self.find_window("KTM-520"), 90)
        self.started = time.monotonic()

    def find_window(self, name):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                               capture_output=True, text=True).stdout.split()
        return found[0] if found else None

    def log(self):
        if not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            f.seek(self.log_start)
            return f.read()

    def wait_log(self, pattern, timeout=60.0):
        rx = re.compile(pattern)
        try:
            return wait_for(f"the log to say /{pattern}/", lambda: rx.search(self.log()), timeout)
        except Failed:
            raise Failed(f"the log never said /{pattern}/; it holds:\n{self.log()[-3000:]}")

    def key(self, *keys, window=None):
        target = window or self.main
        xdo("windowactivate", "--sync", target)
        xdo("windowfocus", "--sync", target)
        for k in keys:
            xdo("key", "--clearmodifiers", k)
            time.sleep(0.3)

    def type(self, text, window=None):
        target = window or self.main
        xdo("windowfocus", "--sync", target)
        xdo("type", "--delay", "20", text)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        subprocess.run(["wineserver", "-w"], timeout=60)


def linux_copy(args, partition, env):
    """What the instrument holds, as the Linux build of the command line copies it (CSV rows)."""
    out = run(args.cli, "--port", args.linux_port, "copy", partition, "-o", "-", "--no-archive", env=env)
    rows = [r.split(",") for r in out.lstrip("\ufeff").split("\r\n") if r]
    return rows[1:]  # file, code, reading, temperature, time


def check_workbook(path, expected_rows):
    book = xlrd.open_workbook(path)
    got = []
    for sheet in book.sheets():
        for r in range(2, sheet.nrows):
            got.append([sheet.name] + [sheet.cell_value(r, c) for c in range(4)])
    if len(got) != len(expected_rows):
        raise Failed(f"{path}: {len(got)} records, the instrument holds {len(expected_rows)}")
    for g, e in zip(got, expected_rows):
        ok = (g[0] == e[0] and str(g[1]) == e[1] and abs(float(g[2]) - float(e[2])) < 1e-9
              and abs(float(g[3]) - float(e[3])) < 1e-9 and g[4] == e[4])
        if not ok:
            raise Failed(f"{path}: record {g} is not {e}")
    return len(got)


def save_as(win, target_windows_path, saved_through, target_unix_path):
    win.key("ctrl+s")
    dialog = wait_for("the save dialog", lambda: next(
        (w for w in subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                   capture_output=True, text=True).stdout.split() if w != win.main), None), 30)
    time.sleep(1.0)
    # The file name box has the focus when the dialog opens.
    xdo("windowfocus", "--sync", dialog)
    xdo("key", "ctrl+a")
    xdo("type", "--delay", "20", target_windows_path)
    xdo("key", "Return")
    win.wait_log(r"saved .*%s through %s" % (re.escape(os.path.basename(target_unix_path)), saved_through), 120)
    win.wait_log("message: 成功保存文件，请查阅！", 30)
    box = wait_for("the message box", lambda: win.find_window("."), 10)
    time.sleep(0.5)
    xdo("key", "Return")
    wait_for("the saved workbook", lambda: os.path.exists(target_unix_path), 10)


def main():
    ap = argparse.ArgumentParser()
    for a in ("--sim", "--cli", "--deployed", "--server", "--register", "--work"):
        ap.add_argument(a, required=True)
    ap.add_argument("--screenshot")
    args = ap.parse_args()
    prefix = os.environ["WINEPREFIX"]
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    env = dict(os.environ)
    ports = tempfile.mkdtemp(dir=work)
    env["VARNOK_PORT_DIR"] = ports
    sim = subprocess.Popen([args.sim, "--pty", "--state", os.path.join(work, "state"), "--baud", "9600"],
                           env=env, stdout=subprocess.PIPE, text=True)
    try:
        name, device = sim.stdout.readline().split()
        args.linux_port = name
        link = os.path.join(prefix, "dosdevices", PORT.lower())
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)
        expected = linux_copy(args, "A", env)

        user = os.environ.get("USER", "root")
        local = os.path.join(prefix, "drive_c", "users", user, "AppData", "Local", "Varnok")
        shutil.rmtree(local, ignore_errors=True)
        log_path = os.path.join(local, "logs", "ktm520.log")
        results = []
        for server in ("Excel.Application", "builtin"):
            if server == "Excel.Application":
                run(args.register, prefix, args.server, "Excel.Application", env=env)
            else:
                run(args.register, "--remove", prefix, "Excel.Application", env=env)
            win = Window(args, env, log_path)
            try:
                win.wait_log("ktm520 started")
                win.key("ctrl+o")
                win.wait_log(r"opened %s" % PORT)
                win.key("F5")
                win.wait_log(r"reply to command \d+ received")
                # The tree holds the partitions; Tab from the connect buttons reaches it.
                win.key("Tab", "Home", "Return")
                win.key("ctrl+l")
                win.wait_log(r"sent command \S+ DIR A")
                win.key("ctrl+shift+d")
                win.wait_log(r"sent command \S+ COPY A", 30)
                time.sleep(2)
                target = os.path.join(work, f"A-{server}.xls")
                save_as(win, "Z:" + target.replace("/", "\\"), re.escape(server) if server != "builtin" else "builtin",
                        target)
                records = check_workbook(target, expected)
                results.append((server, records))
                if server == "builtin":
                    win.key("ctrl+Next")
                    time.sleep(2)
                    if args.screenshot:
                        subprocess.run(["import", "-window", "root", args.screenshot], check=True)
            finally:
                win.close()
        print(json.dumps({"saved": results, "records": len(expected)}))
    finally:
        sim.terminate()
        sim.wait(10)


if __name__ == "__main__":
    try:
        main()
    except Failed as e:
        print(f"FAILED: {e}", file=sys.stderr)
        sys.exit(1)
