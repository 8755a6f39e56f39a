#!/usr/bin/python3
"""End to end: files under the results table's name that are not a table the station may write. Each
scenario starts the real tivora on a virtual X display with the file in place and goes on with real X
input, as an examiner would:

  not-a-table        tivora4.DBF is a short text file: the start shows why it is no table, "Data  OK" is
                     refused, "exit" ends the program, and the file is byte for byte as it was;
  link-not-a-table   tivora4.DBF is a link to a copy of a system file: the same, and neither the link
                     nor the copy changes;
  directory-table    a folder is named tivora4.DBF: "Data  OK" is refused with a box naming the table and
                     the reason, no screen or stimulus appears, the typed identity stays; once the folder
                     is gone, "Data  OK" starts the test and its row is stored with that identity;
  immutable-table    the same with a table that nobody may write (chattr +i); the flag is then cleared.

Exits 77 (skipped) when the immutable flag cannot be set here."""

import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from no_test_lost import SKIPPED, TITLE, can_make_unwritable, lines, practice  # noqa: E402
from harness import check  # noqa: E402
from session import BLACK, STIMULUS, VIEWER, Session, check_identity, check_series  # noqa: E402

TABLE = "tivora4.DBF"
TEXT = b"Vysledky mereni 7.12.2026\nNovak Jan 312 298 305\nDvorak Petr 287 301 299\n\n"
assert len(TEXT) == 73


def refused_at_data_ok(s):
    """Types the identity and presses "Data  OK": the refusal box comes (its text, which names the table
    and the reason, is checked by the data window's own test), no screen or stimulus appears while it is
    open, and the data window is back afterwards."""
    s.enter_identity()
    s.press_data_ok()
    s.wait_for_box("???")
    s.shot("refused_table_box")
    deadline = time.monotonic() + 1.5
    while time.monotonic() < deadline:
        screen = s.x.screen()
        check(screen.pixel(*VIEWER) == BLACK and screen.pixel(*STIMULUS) != (255, 255, 255),
              "a screen or the stimulus appeared for a table that cannot take the row")
    s.dismiss_box("???")
    s.x.find_window("Zadání dat")
    check(s.x.screen().pixel(*VIEWER) == BLACK, "an instruction screen appeared after the box")


def start_error(s):
    """The start-up step could not open the table: its error box comes and is confirmed."""
    s.wait_for_box(TITLE)
    s.shot("start_error_box")
    s.dismiss_box(TITLE)


def untouched_after_exit(s, files):
    """"exit" ends the program, and every file in `files` (name -> bytes) is as it was."""
    s.exit()
    s.wait_for_end()
    for name, before in files.items():
        with open(s.path(name), "rb") as f:
            check(f.read() == before, f"{name} was changed")


def not_a_table(s):
    start_error(s)
    refused_at_data_ok(s)
    untouched_after_exit(s, {TABLE: TEXT})
    return 0


def link_not_a_table(s):
    copy = open(s.path("passwd.copy"), "rb").read()
    start_error(s)
    refused_at_data_ok(s)
    untouched_after_exit(s, {"passwd.copy": copy})
    check(os.readlink(s.path(TABLE)) == "passwd.copy", "the link was replaced")
    return 0


def test_after_the_fix(s, delays):
    """"Data  OK" again after the cause is gone: the test runs, and its one row holds the identity typed
    before the refusal (nothing was typed since) and the measured series."""
    s.press_data_ok()
    practice(s)
    s.x.key("Return")
    for series in delays:
        for delay in series:
            s.trial(delay)
    s.wait_screen("the closing screen")
    s.x.key("Return")
    s.wait_for_end()
    rows = s.rows()
    check(len(rows) == 1, f"expected one stored row, found {len(rows)}")
    check_identity(rows[0])
    for n, series in enumerate(delays, start=1):
        check_series(rows[0], n, series)


def directory_table(s):
    start_error(s)
    refused_at_data_ok(s)
    os.rmdir(s.path(TABLE))
    test_after_the_fix(s, [[0.2], [0.4]])
    return 0


def immutable_table(s):
    try:
        start_error(s)
        refused_at_data_ok(s)
    finally:
        subprocess.run(["chattr", "-i", s.path(TABLE)], check=True)
    test_after_the_fix(s, [[0.3], [0.1]])
    return 0


def put_text(s):
    with open(s.path(TABLE), "wb") as f:
        f.write(TEXT)


def put_link(s):
    shutil.copyfile("/etc/passwd", s.path("passwd.copy"))
    os.symlink("passwd.copy", s.path(TABLE))


def put_directory(s):
    os.mkdir(s.path(TABLE))


def put_immutable(s):
    # The empty results table, 834 bytes, as the station creates it (the date bytes left 0).
    fields = [("PRIJM", "C", 15), ("JMENO", "C", 12), ("RC_1", "C", 6), ("RC_2", "C", 4), ("DATE", "C", 12)]
    fields += [(f"POC_{n}SER", "N", 3) for n in range(1, 5)] + [(f"PRUMER{n}", "F", 8) for n in range(1, 5)]
    fields += [(f"POC_PRED{n}", "N", 3) for n in range(1, 5)]
    fields += [(f"SER{n}{part}", "C", 254) for n in range(1, 5) for part in "AB"]
    header = bytearray(32)
    header[0] = 3
    header[8:10] = (32 + 32 * len(fields) + 1).to_bytes(2, "little")
    header[10:12] = (1 + sum(width for _, _, width in fields)).to_bytes(2, "little")
    for name, kind, width in fields:
        descriptor = bytearray(32)
        descriptor[0:len(name)] = name.encode()
        descriptor[11] = ord(kind)
        descriptor[16] = width
        header += descriptor
    with open(s.path(TABLE), "wb") as f:
        f.write(bytes(header) + b"\x0d\x1a")
    subprocess.run(["chattr", "+i", s.path(TABLE)], check=True)


PROGRAM = lines(1, 1, 1, "77 tivora2.rtf", 1, 1, "88 tivora3.rtf", 1, 1)
SCENARIOS = {
    "not-a-table": (not_a_table, put_text),
    "link-not-a-table": (link_not_a_table, put_link),
    "directory-table": (directory_table, put_directory),
    "immutable-table": (immutable_table, put_immutable),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tivora")
    parser.add_argument("sample")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()
    run, prepare = SCENARIOS[args.scenario]
    if args.scenario == "immutable-table" and not can_make_unwritable(os.environ.get("TMPDIR", "/tmp")):
        print("skipped: chattr +i is not possible here")
        sys.exit(SKIPPED)
    with Session(args.tivora, args.sample, PROGRAM, None, args.screenshots, prepare) as s:
        code = run(s)
    print(f"end-to-end scenario {args.scenario}: passed")
    sys.exit(code)


if __name__ == "__main__":
    main()
