#!/usr/bin/python3
"""Checks Tivora's Debian package as a station would get it: its contents and control fields, the desktop
entry and AppStream metadata by their validators, lintian (no errors), and the programs unpacked from it:
`tivora --version` without a display, `tivora FOLDER` on the packaged sample test under Xvfb until the data
window shows, and `tivora --choose-folder` with its real folder dialog driven by X input, which copies the
packaged sample into an empty folder."""

import argparse
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Program, check, shot, tivora_environment  # noqa: E402
from xsession import XSession  # noqa: E402

DATA_WINDOW = "Zadání dat vyšetřované osoby"
FOLDER_DIALOG = "Tivora: vyberte složku s testem"


def run(*command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True, **kwargs).stdout


def check_contents(deb, sample):
    listing = run("dpkg-deb", "-c", deb)
    paths = {line.split()[-1].removeprefix(".") for line in listing.splitlines()}
    programs = sorted(p.removeprefix("/usr/bin/") for p in paths if p.startswith("/usr/bin/") and p != "/usr/bin/")
    check("tivora" in programs, "the package holds no /usr/bin/tivora")
    desktop = [p for p in paths if re.fullmatch(r"/usr/share/applications/[^/]+\.desktop", p)]
    metainfo = [p for p in paths if re.fullmatch(r"/usr/share/metainfo/[^/]+\.metainfo\.xml", p)]
    check(len(desktop) == 1 and len(metainfo) == 1, f"desktop entries {desktop}, metainfo {metainfo}")
    expected = {"/usr/share/icons/hicolor/scalable/apps/tivora.svg", "/usr/share/doc/tivora/copyright",
                "/usr/share/doc/tivora/changelog.gz"}
    expected |= {f"/usr/share/man/man1/{program}.1.gz" for program in programs}
    expected |= {f"/usr/share/tivora/sample/{name}" for name in os.listdir(sample)}
    missing = expected - paths
    check(not missing, f"missing from the package: {sorted(missing)}")
    for line in listing.splitlines():
        mode, owner = line.split()[:2]
        check(owner == "root/root", f"not owned by root: {line}")
        check(mode in ("drwxr-xr-x", "-rw-r--r--", "-rwxr-xr-x"), f"unusual permissions: {line}")

    depends = run("dpkg-deb", "-f", deb, "Depends")
    for package in ("libqt6widgets6", "libqt6gui6", "libqt6core6", "libstdc++6", "libc6", "qt6-qpa-plugins"):
        check(re.search(rf"(^|, ){re.escape(package)}( |,|$)", depends), f"Depends lacks {package}: {depends}")
    print(f"contents: {len(paths)} entries, programs {programs}; Depends: {depends.strip()}")
    return desktop[0], metainfo[0]


def check_validators(root, desktop, metainfo, deb):
    run("desktop-file-validate", root + desktop)
    # A hint is not a failure; warnings and errors are.
    run("appstreamcli", "validate", "--no-net", root + metainfo)
    lintian = subprocess.run(["lintian", "--fail-on", "error", "--display-info", deb], stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True)
    tags = [line for line in lintian.stdout.splitlines() if re.match(r"[EWIPXO]: ", line)]
    print("lintian:", "no tags" if not tags else "\n  " + "\n  ".join(tags))
    check(lintian.returncode == 0, f"lintian reports errors:\n{lintian.stdout}")
    check(not any(tag.startswith("E: ") for tag in tags), "lintian reports errors")


def check_version(root, deb):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    output = run(root + "/usr/bin/tivora", "--version", env=env)
    version = run("dpkg-deb", "-f", deb, "Version").strip()
    check(output == f"tivora {version}\n", f"--version says {output!r}, the package is {version}")
    print(f"unpacked tivora --version without a display: {output.strip()}")


def unpacked_tivora(x, root, arguments, cwd, home):
    """The unpacked tivora on the virtual display, with `home` as the home folder, for a `with` block."""
    env = tivora_environment(x, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    return Program([root + "/usr/bin/tivora", *arguments], cwd, env)


def wait_for_file(path, timeout=10.0):
    """The data window creates the results table as it is activated, just after it shows."""
    deadline = time.monotonic() + timeout
    while not os.path.exists(path) and time.monotonic() < deadline:
        time.sleep(0.1)
    check(os.path.exists(path), f"{path} was not created")


def start_in_folder(x, root, work, screenshots):
    """`tivora FOLDER` on the packaged sample, started elsewhere: the table appears in FOLDER."""
    folder = os.path.join(root, "usr/share/tivora/sample")
    elsewhere = os.path.join(work, "elsewhere")
    os.makedirs(elsewhere)
    with unpacked_tivora(x, root, [folder], elsewhere, os.path.join(work, "home")) as program:
        x.find_window(DATA_WINDOW)
        wait_for_file(os.path.join(folder, "tivora4.DBF"))
        shot(x, screenshots, "package_folder")
        check(os.listdir(elsewhere) == [], f"files in the start directory: {os.listdir(elsewhere)}")
        check(program.process.poll() is None, "tivora ended")
    print("unpacked tivora FOLDER: the data window shows, the table is created in FOLDER")


def choose_folder(x, root, work, sample, screenshots):
    """`tivora --choose-folder`: the examiner types a new empty folder into the dialog and accepts the
    sample, which is copied from the package beside the executable."""
    home = os.path.join(work, "home")
    chosen = os.path.join(work, "Testy Nováková")
    os.makedirs(chosen)
    with unpacked_tivora(x, root, ["--choose-folder"], home, home):
        dialog = x.find_window(FOLDER_DIALOG)
        time.sleep(0.5)
        x.xdotool("windowfocus", dialog)
        x.type(chosen)
        shot(x, screenshots, "package_dialog")
        x.key("Return")
        offer = x.find_window("^tivora$")
        shot(x, screenshots, "package_offer")
        x.xdotool("windowfocus", offer)
        x.key("Return")
        x.find_window(DATA_WINDOW)
        wait_for_file(os.path.join(chosen, "tivora4.DBF"))
        shot(x, screenshots, "package_chosen")
        copied = sorted(os.listdir(chosen))
        check(copied == sorted(os.listdir(sample) + ["tivora4.DBF"]), f"the chosen folder holds {copied}")
        for name in os.listdir(sample):
            check(filecmp.cmp(os.path.join(sample, name), os.path.join(chosen, name), shallow=False),
                  f"{name} differs from the sample")
        with open(os.path.join(home, ".config/tivora/tivora.conf"), encoding="utf-8") as settings:
            check(f"testFolder={chosen}" in settings.read(), "the choice is not remembered")
    print("unpacked tivora --choose-folder: the dialog, the sample copied, the data window shows")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("deb")
    parser.add_argument("sample", help="the source tree's sample folder")
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()

    desktop, metainfo = check_contents(args.deb, args.sample)
    work = tempfile.mkdtemp(prefix="tivora_package_")
    try:
        root = os.path.join(work, "root")
        run("dpkg-deb", "-x", args.deb, root)
        os.makedirs(os.path.join(work, "home"))
        check_validators(root, desktop, metainfo, args.deb)
        check_version(root, args.deb)
        x = XSession()
        try:
            # The choice first: the other start writes its table into the packaged sample folder.
            choose_folder(x, root, work, args.sample, args.screenshots)
            start_in_folder(x, root, work, args.screenshots)
        finally:
            x.close()
    finally:
        shutil.rmtree(work)
    print("package test passed")


if __name__ == "__main__":
    main()
