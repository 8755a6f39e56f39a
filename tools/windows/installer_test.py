#!/usr/bin/python3
"""The Windows installer, run silently under wine64 in a Wine prefix of its own: it installs the package
folder into Program Files with a start-menu entry that starts tivora.exe asking for the test folder, and an
uninstall entry; its uninstaller removes all of that again and nothing else."""

import argparse
import os
import subprocess
import sys


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Wine:
    def __init__(self, wine_run, prefix):
        self.wine_run, self.prefix = wine_run, prefix
        self.env = dict(os.environ, WINEPREFIX=prefix)
        self.env.pop("DISPLAY", None)

    def run(self, *command):
        result = subprocess.run([self.wine_run, "--prefix", self.prefix, "--", *command], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, errors="replace")
        # An installer or uninstaller may hand its work to a copy of itself: wait for every process.
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)
        return result

    def path(self, windows_path):
        """The Linux path of a path on drive C:."""
        check(windows_path.startswith("C:\\"), windows_path)
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))


UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tivora"
INSTALL_DIR = r"C:\Program Files\Tivora"
MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Tivora"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--package", required=True, help="the package folder the installer was built from")
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    args = parser.parse_args()
    wine = Wine(args.wine_run, args.prefix)

    check(wine.run(args.installer, "/S").returncode == 0, "the installer failed")
    installed = wine.path(INSTALL_DIR)
    for root, _, files in os.walk(args.package):
        for name in files:
            relative = os.path.relpath(os.path.join(root, name), args.package)
            check(os.path.isfile(os.path.join(installed, relative)), f"{relative} was not installed")
    check(os.path.isfile(os.path.join(installed, "uninstall.exe")), "no uninstaller")
    shortcut = open(os.path.join(wine.path(MENU), "Tivora.lnk"), "rb").read()
    check("--choose-folder".encode("utf-16-le") in shortcut, "the start-menu entry does not ask for the folder")
    check("tivora.exe".encode("utf-16-le") in shortcut.lower() or b"tivora.exe" in shortcut.lower(),
          "the start-menu entry does not start tivora.exe")
    query = wine.run("reg", "query", UNINSTALL_KEY)
    check("uninstall.exe" in query.stdout, f"no uninstall entry: {query.stdout!r}")

    # A results table the examiner keeps in the installation folder is not the uninstaller's to delete.
    table = os.path.join(installed, "tivora4.DBF")
    open(table, "wb").close()
    check(wine.run(os.path.join(installed, "uninstall.exe"), "/S").returncode == 0, "the uninstaller failed")
    check(not os.path.exists(os.path.join(installed, "bin")), "bin was left behind")
    check(not os.path.exists(os.path.join(installed, "share")), "share was left behind")
    check(not os.path.exists(wine.path(MENU)), "the start-menu entry was left behind")
    check(os.path.isfile(table), "the uninstaller removed a file it did not install")
    check(wine.run("reg", "query", UNINSTALL_KEY).returncode != 0, "the uninstall entry was left behind")
    os.remove(table)
    print("installer test passed")


if __name__ == "__main__":
    try:
        main()
    except AssertionError as failure:
        sys.exit(f"FAILED: {failure}")
