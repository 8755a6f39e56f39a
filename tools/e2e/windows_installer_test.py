#!/usr/bin/python3
"""The Windows installer, run silently under wine64 in a Wine prefix of its own: it installs the package
folder into Program Files with the start-menu entries of the Linux desktop entry (tivora.exe asking for the
test folder, the station self-test, tivora-report.exe) and the uninstaller's, and an uninstall entry; its
uninstaller removes all of that again and nothing else."""

import argparse
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import check  # noqa: E402


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


# The start-menu entries: the program each starts (in the installation folder) and its arguments.
ENTRIES = {
    "Tivora.lnk": (r"bin\tivora.exe", "--choose-folder"),
    "Test stanice.lnk": (r"bin\tivora.exe", "--self-test"),
    "Výsledky, protokoly a export.lnk": (r"bin\tivora-report.exe", ""),
    "Uninstall Tivora.lnk": ("uninstall.exe", ""),
}


def lnk_strings(shortcut):
    """The shell link's target path (from its link info) and its arguments (a string data entry)."""
    flags = struct.unpack_from("<I", shortcut, 20)[0]
    offset = 76
    if flags & 0x01:  # HasLinkTargetIDList
        offset += 2 + struct.unpack_from("<H", shortcut, offset)[0]
    target = ""
    if flags & 0x02:  # HasLinkInfo
        info_size, header_size, info_flags, _, base_offset = struct.unpack_from("<5I", shortcut, offset)
        if info_flags & 0x01:
            end = shortcut.index(b"\0", offset + base_offset)
            target = shortcut[offset + base_offset:end].decode("cp1252")
        offset += info_size
    unicode = flags & 0x80
    strings = {}
    for name, bit in (("name", 0x04), ("relative", 0x08), ("directory", 0x10), ("arguments", 0x20), ("icon", 0x40)):
        if flags & bit:
            count = struct.unpack_from("<H", shortcut, offset)[0]
            size = count * 2 if unicode else count
            raw = shortcut[offset + 2:offset + 2 + size]
            # Wine counts the terminating NUL in.
            strings[name] = (raw.decode("utf-16-le") if unicode else raw.decode("cp1252")).rstrip("\0")
            offset += 2 + size
    return target, strings


def target_of(shortcut):
    """The target relative to the installation folder, as the link records it."""
    target, strings = lnk_strings(shortcut)
    path = target or strings.get("relative", "")
    prefix = INSTALL_DIR + "\\"
    return path[len(prefix):] if path.lower().startswith(prefix.lower()) else path


def arguments_of(shortcut):
    return lnk_strings(shortcut)[1].get("arguments", "")


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
    menu = wine.path(MENU)
    check(sorted(os.listdir(menu)) == sorted(ENTRIES), f"the start menu holds {sorted(os.listdir(menu))}")
    for entry, (program, arguments) in ENTRIES.items():
        shortcut = open(os.path.join(menu, entry), "rb").read()
        check(target_of(shortcut) == program, f"{entry} starts {target_of(shortcut)!r}, not {program}")
        check(arguments_of(shortcut) == arguments, f"{entry} passes {arguments_of(shortcut)!r}, not {arguments!r}")
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
