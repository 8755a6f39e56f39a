#!/usr/bin/python3
"""End to end on Windows, here under wine64: the packaged tivora.exe (nothing but its own folder on the
DLL path) starts in a new folder whose name has Czech letters, holding only the test's files, with a program.txt in code page 1250
whose start marker names an instruction file with Czech letters, and with the station's short date
format set to d.M.yyyy in the registry. The table it creates at start must be byte for byte the one the
Linux build creates the same day; then a whole test is driven with real X input (Wine's windows are X
windows) exactly as the Linux end-to-end test drives it, and the stored row must be the row the Linux
build stores, with the date box's text in the Windows date format. Last, the packaged tivora-report.exe,
started as an examiner starts it, exports that table and prints its protocol there."""

import argparse
import csv
import datetime
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import whole_test  # noqa: E402
from harness import Program, check  # noqa: E402
from xsession import XSession  # noqa: E402

# The Linux test's program, with the start marker's file named in Czech and the file in code page 1250.
SECOND_SCREEN = "pokyny k měření.rtf"
PROGRAM = whole_test.PROGRAM.replace("77 tivora2.rtf", "77 " + SECOND_SCREEN).encode("cp1250")
FOLDER = "Zkouška Řehoř"
SHORT_DATE = "d.M.yyyy"
EMPTY_TABLE_SIZE = 834


def wait_for_table(path, app, timeout=60.0):
    """The bytes of the results table once the program `app` has created it."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if app.poll() is not None:
            raise RuntimeError(f"the program ended with exit code {app.returncode} before it created {path}")
        if os.path.exists(path) and os.path.getsize(path) == EMPTY_TABLE_SIZE:
            with open(path, "rb") as table:
                return table.read()
        time.sleep(0.1)
    raise TimeoutError(f"no results table {path}")


def prepare_folder(work, sample):
    """The test's files: the sample's instruction screens, the second under its Czech name, and program.txt."""
    for name, target in (("tivora1.rtf", "tivora1.rtf"), ("tivora2.rtf", SECOND_SCREEN),
                         ("tivora3.rtf", "tivora3.rtf")):
        shutil.copy(os.path.join(sample, name), os.path.join(work, target))
    with open(os.path.join(work, "program.txt"), "wb") as out:
        out.write(PROGRAM)


def linux_empty_table(linux_tivora, sample):
    """The table the Linux build creates at start in a folder with the same files."""
    work = tempfile.mkdtemp(prefix="tivora_linux_")
    prepare_folder(work, sample)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8", LC_ALL="C.UTF-8")
    try:
        with Program([linux_tivora], work, env) as app:
            return wait_for_table(os.path.join(work, "tivora4.DBF"), app)
    finally:
        shutil.rmtree(work)


# The station's settings: (key, value, data).
SETTINGS = [
    (r"HKCU\Control Panel\International", "sShortDate", SHORT_DATE),
    # Xvfb has no window manager: Wine stacks its windows itself, as Windows does (the data window stays
    # above the full-screen test window).
    (r"HKCU\Software\Wine\X11 Driver", "Managed", "N"),
    # Wine's own "MS Sans Serif" (the data window's font) is a bitmap font whose text Qt's Windows font
    # engine leaves undrawn under Wine; a TrueType face stands in for it.
    (r"HKCU\Software\Wine\Fonts\Replacements", "MS Sans Serif", "DejaVu Sans"),
]


def set_up_station(args):
    """Writes SETTINGS into the prefix's registry, with no display, and waits until Wine has ended, so
    that the program's Wine starts afresh on the test's display."""
    env = dict(os.environ, WINEPREFIX=args.prefix)
    env.pop("DISPLAY", None)
    for key, value, data in SETTINGS:
        result = subprocess.run([args.wine_run, "--prefix", args.prefix, "--", "reg", "add", key, "/v", value,
                                 "/d", data, "/f"], env=env, capture_output=True, text=True, errors="replace")
        check(result.returncode == 0, f"reg add {key} {value} failed ({result.returncode}): "
              + result.stdout + result.stderr)
    subprocess.run(["wineserver", "-w"], env=env, check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--package", required=True, help="the package folder (with bin\\tivora.exe)")
    parser.add_argument("--sample", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True, help="the Wine prefix to run in")
    parser.add_argument("--linux-tivora", required=True, help="the Linux build's tivora, for the empty table")
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()

    linux_table = linux_empty_table(args.linux_tivora, args.sample)

    base = tempfile.mkdtemp(prefix="tivora_win_e2e_")
    work = os.path.join(base, FOLDER)
    os.mkdir(work)
    prepare_folder(work, args.sample)

    set_up_station(args)
    x = XSession()
    env = dict(x.env, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    tivora = os.path.join(args.package, "bin", "tivora.exe")
    try:
        with Program([args.wine_run, "--prefix", args.prefix, "--", tivora], work, env,
                     os.path.join(base, "tivora.log")) as app:
            windows_table = wait_for_table(os.path.join(work, "tivora4.DBF"), app)
            if windows_table != linux_table:
                first = next(i for i, (a, b) in enumerate(zip(windows_table, linux_table)) if a != b)
                check(False, f"the empty table differs from the Linux build's, first at byte {first}")
            whole_test.run(x, app, args.screenshots)
            code = app.wait(timeout=60)
            check(code == 0, f"tivora.exe ended with exit code {code}")
            table = os.path.join(work, "tivora4.DBF")
            whole_test.check_row(table)
            check_date(table)
            check_report(args, work, env)
    finally:
        x.close()
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=args.prefix), check=False)
    shutil.rmtree(base)
    print("Windows end-to-end test passed")


def windows_path(path):
    """A Linux path as the Windows programs under Wine see it (drive Z: is the root)."""
    return "Z:" + path.replace("/", "\\")


def check_report(args, work, env):
    """The packaged tivora-report.exe on the stored table in the folder with Czech letters: the command
    line must take those paths whole, the timing record beside the table must be found and used, CSV keeps
    its CR LF line ends on the standard output too, and the protocol is drawn with the system's own
    platform plugin (the package has no other)."""
    report = os.path.join(args.package, "bin", "tivora-report.exe")
    env = {name: value for name, value in env.items() if not name.startswith("QT_")}
    table = windows_path(os.path.join(work, "tivora4.DBF"))
    check(os.path.isfile(os.path.join(work, "tivora4_timing.csv")), "tivora.exe kept no timing record")

    def run(*arguments):
        result = subprocess.run([args.wine_run, "--prefix", args.prefix, "--", report, *arguments], env=env,
                                capture_output=True)
        check(result.returncode == 0, f"tivora-report.exe {' '.join(arguments)} exited {result.returncode}: "
              + result.stderr.decode("utf-8", "replace"))
        return result.stdout

    run("export", table, "--format", "csv", "--output", windows_path(os.path.join(work, "výsledky.csv")))
    with open(os.path.join(work, "výsledky.csv"), encoding="utf-8-sig", newline="") as source:
        rows = list(csv.DictReader(source))
    check(len(rows) == 1 and rows[0]["PRIJM"] == "Novák", f"the export holds {rows!r}")
    check(rows[0]["timing_record"] == "1", "the export did not use the timing record beside the table")
    piped = run("export", table, "--format", "csv", "--output", "-")
    check(b"\r\n" in piped and b"\r\r\n" not in piped, f"the standard output's line ends: {piped[:300]!r}")
    check(list(csv.DictReader(io.StringIO(piped.decode("utf-8-sig"), newline="")))[0]["PRIJM"] == "Novák",
          "the standard output's export differs")
    pdf = os.path.join(work, "protokol Nováka.pdf")
    run("protocol", table, "--row", "1", "--output", windows_path(pdf))
    text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, text=True).stdout
    check("Novák" in text and "850101/1234" in text, f"the protocol reads {text[:300]!r}")


def check_date(path):
    """DATE holds the date box's text: today in the registry's d.M.yyyy, fitted to the box's mask."""
    with open(path, "rb") as table:
        data = table.read()
    today = datetime.date.today()
    expected = f"{today.day:>2}.{today.month:>2}.{today.year}".ljust(12).encode("ascii")
    stored = data[833 + 38:833 + 38 + 12]
    check(stored == expected, f"DATE is {stored!r}, expected {expected!r}")


if __name__ == "__main__":
    main()
