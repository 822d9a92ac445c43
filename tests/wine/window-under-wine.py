#!/usr/bin/python3
"""The Windows window, ktm520.exe from the deployed folder, under Wine on an X server, driven with
real X input (xdotool) against the simulated instrument on the prefix's COM7: the window comes up
with the registry's ports, COM7 is chosen by typing it, connect opens it, "read the partitions"
sends DIR on it, and the history tab shows the archive of the user's local application data
(copies the Linux build made of the same simulator), each component by its code and count.
The oracle is what the program leaves: its support log and a screenshot.

Under Wine 8 the instrument's reply never reaches Qt's serial port (tests/cli/CliWindowsTest.cpp
says why), so the window reports that no data came, as it must on a silent line, and the
downloads and the saves that need them cannot be driven here.

window-under-wine.py --sim SIM --cli LINUX_CLI --deployed DIR --work DIR [--screenshot PNG]
Runs inside an X server (DISPLAY) with WINEPREFIX naming a prefix made by `wine-prefix.sh program`.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time


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
        self.log_path = log_path
        self.log_start = os.path.getsize(log_path) if os.path.exists(log_path) else 0
        exe = os.path.join(args.deployed, "ktm520.exe")
        self.launched = time.monotonic()
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

    def key(self, *keys):
        # No window manager runs on the virtual display: the window is given the focus itself.
        xdo("windowfocus", "--sync", self.main)
        for k in keys:
            xdo("key", "--clearmodifiers", k)
            time.sleep(0.3)

    def type(self, text):
        xdo("windowfocus", "--sync", self.main)
        xdo("type", "--delay", "20", text)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        # the program itself, which Wine runs apart from the wine command's own process
        subprocess.run(["wine", "taskkill", "/f", "/im", "ktm520.exe"], capture_output=True, timeout=60)


def main():
    ap = argparse.ArgumentParser()
    for a in ("--sim", "--cli", "--deployed", "--work"):
        ap.add_argument(a, required=True)
    ap.add_argument("--screenshot")
    args = ap.parse_args()
    prefix = os.environ["WINEPREFIX"]
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    env = dict(os.environ)
    env["VARNOK_PORT_DIR"] = os.path.join(work, "ports")
    env["XDG_DATA_HOME"] = os.path.join(work, "data")
    env["XDG_CONFIG_HOME"] = os.path.join(work, "config")
    sim = subprocess.Popen([args.sim, "--pty", "--state", os.path.join(work, "state"), "--baud", "9600"],
                           env=env, stdout=subprocess.PIPE, text=True)
    try:
        name, device = sim.stdout.readline().split()
        link = os.path.join(prefix, "dosdevices", PORT.lower())
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)
        run("wine", "reg", "add", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", r"\Device\Serial6", "/t", "REG_SZ",
            "/d", PORT, "/f", env=env)

        # The archive the window shows: copies of C and D by the Linux build, as the Windows
        # user's own.
        user = os.environ.get("USER", "root")
        local = os.path.join(prefix, "drive_c", "users", user, "AppData", "Local", "Varnok")
        shutil.rmtree(local, ignore_errors=True)
        os.makedirs(local)
        archive = os.path.join(local, "archive.sqlite")
        run(args.cli, "archive", "instruments", "add", "KTM-Wine", "--archive", archive, env=env)
        for partition in ("C", "D"):
            run(args.cli, "--port", name, "copy", partition, "--instrument", "KTM-Wine", "-o",
                os.path.join(work, "copy.csv"), "--archive", archive, env=env)
        listed = json.loads(run(args.cli, "archive", "list", "--json", "--archive", archive, env=env))
        codes = sorted(c["code"] for c in listed)

        win = Window(args, env, os.path.join(local, "logs", "ktm520.log"))
        try:
            win.wait_log("ktm520 started")
            print(f"window shown {win.started - win.launched:.2f} s after start")
            # The port box has the focus; the registry's first port is chosen, COM7 is typed.
            win.key("ctrl+a")
            win.type(PORT)
            win.key("ctrl+o")
            win.wait_log(r"opened %s .*9600,N,8,1" % PORT)
            win.key("F5")
            win.wait_log(r"sent command \d+ DIR\\r\\n")
            win.wait_log("message: 没有读取到数据！", 30)
            time.sleep(1)
            win.key("Return")
            # The history tab, beside the preview's at the top of the work area.
            xdo("mousemove", "--window", win.main, "404", "94", "click", "1")
            time.sleep(3)
            if args.screenshot:
                subprocess.run(["import", "-window", "root", args.screenshot], check=True)
            if win.proc.poll() is not None:
                raise Failed(f"the window ended by itself (exit {win.proc.returncode})")
        finally:
            win.close()
        print(json.dumps({"archived components": codes}))
    finally:
        sim.terminate()
        sim.wait(10)


if __name__ == "__main__":
    try:
        main()
    except Failed as e:
        print(f"FAILED: {e}", file=sys.stderr)
        sys.exit(1)
